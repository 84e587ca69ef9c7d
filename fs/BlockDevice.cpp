#include "fs/BlockDevice.h"

ErrorOr<void> BlockDevice::write_block(u64 first, u32 count, ByteBuffer const& buffer)
{
    TRY(check_request(first, count, buffer.size()));
    BlockPiece whole(buffer.data(), buffer.size());
    return write_blocks(first, { &whole, 1 });
}

ErrorOr<void> BlockDevice::check_request(u64 first, u32 count, size_t buffer_size) const
{
    if (buffer_size != static_cast<u64>(count) * BlockSize)
        return Error("Invalid data size.");
    if (first > block_count() || count > block_count() - first)
        return Error("Block number out of range");
    return {};
}

ErrorOr<u32> BlockDevice::check_request(u64 first, std::span<BlockPiece const> pieces) const
{
    u64 bytes = 0;
    for (auto const& piece : pieces) {
        if (piece.size() % BlockSize != 0)
            return Error("Invalid data size.");
        bytes += piece.size();
    }
    if (bytes / BlockSize > 0xFFFFFFFFu)
        return Error("Invalid data size.");
    u32 count = static_cast<u32>(bytes / BlockSize);
    TRY(check_request(first, count, bytes));
    return count;
}
