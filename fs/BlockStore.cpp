#include "fs/BlockStore.h"

#include "base/Endian.h"

using namespace DiskFormat;

u64 BlockStore::allocation_limit() const
{
    return block_count() < AddressableBlocks ? block_count() : AddressableBlocks;
}

ErrorOr<void> BlockStore::check_inside(Extent extent) const
{
    if (extent.end() > block_count())
        return Error(
            "Corrupt file system: block " + String::number(extent.first.stored()) + " is outside the partition");
    return {};
}

ErrorOr<ByteBuffer> BlockStore::read(Extent extent)
{
    ByteBuffer blocks;
    TRY(read_into(extent, blocks));
    return blocks;
}

ErrorOr<void> BlockStore::read_into(Extent extent, ByteBuffer& buffer)
{
    TRY(check_inside(extent));
    if (buffer.size() != static_cast<size_t>(extent.count) * BlockDevice::BlockSize)
        buffer = TRY(try_allocate_bytes(static_cast<size_t>(extent.count) * BlockDevice::BlockSize));
    return m_partition.read_block(extent.first.value(), extent.count, buffer);
}

ErrorOr<void> BlockStore::write(BlockNumber first, ByteBuffer const& blocks)
{
    BlockPiece whole(blocks.data(), blocks.size());
    return write(first, { &whole, 1 });
}

ErrorOr<void> BlockStore::write(BlockNumber first, std::span<BlockPiece const> pieces)
{
    size_t bytes = 0;
    for (auto const& piece : pieces)
        bytes += piece.size();
    Extent extent { first, static_cast<u32>(bytes / BlockDevice::BlockSize) };
    if (first < RootNode)
        return Error("Corrupt file system: block " + String::number(first.stored()) + " is outside the partition");
    TRY(check_inside(extent));
    return m_partition.write_blocks(first.value(), pieces);
}

ErrorOr<bool> BlockStore::is_formatted(Partition& partition)
{
    if (partition.block_count() <= SuperBlock.value())
        return false;
    ByteBuffer block;
    block.resize(BlockDevice::BlockSize);
    TRY(partition.read_block(SuperBlock.value(), 1, block));
    auto super = decode_superblock(block);
    return !super.is_error() && super.value().signature == Signature;
}

ErrorOr<bool> BlockStore::is_blank(Partition& partition)
{
    u32 count = partition.block_count() < FormattedBlocks ? static_cast<u32>(partition.block_count()) : FormattedBlocks;
    ByteBuffer blocks;
    blocks.resize(static_cast<size_t>(count) * BlockDevice::BlockSize);
    TRY(partition.read_block(0, count, blocks));
    for (u8 byte : blocks) {
        if (byte != 0)
            return false;
    }
    return true;
}

ErrorOr<void> BlockStore::format(String const& label)
{
    if (label.length() > MaxNameLength)
        return Error("Volume label too long (at most 255 characters)");
    if (block_count() < FormattedBlocks)
        return Error("Partition too small for a file system (at least 100 blocks)");
    ByteBuffer zeros;
    zeros.resize(FormattedBlocks * BlockDevice::BlockSize);
    TRY(m_partition.write_block(0, FormattedBlocks, zeros));
    return m_partition.write_block(SuperBlock.value(), 1, encode_superblock(label, FirstFreeBlock));
}

ErrorOr<Superblock> BlockStore::read_superblock()
{
    auto super = decode_superblock(TRY(read({ SuperBlock, 1 })));
    if (super.is_error() || super.value().signature != Signature)
        return Error("No file system on this partition");
    BlockNumber next = super.value().next_free_block;
    if (next < FirstFreeBlock || next.value() > block_count())
        return Error("Corrupt superblock");
    return super.release_value();
}

ErrorOr<BlockNumber> BlockStore::next_free_block() { return TRY(read_superblock()).next_free_block; }

ErrorOr<void> BlockStore::extend_allocated_area(Extent written)
{
    ByteBuffer block = TRY(read({ SuperBlock, 1 }));
    auto super = TRY(decode_superblock(block));
    if (written.end() <= super.next_free_block.value())
        return {};
    // Only the pointer changes: whatever else the block holds stays as it is.
    write_le32(block, super.pointer_offset(), static_cast<u32>(written.end()));
    return m_partition.write_block(SuperBlock.value(), 1, block);
}
