#include "fs/FileContent.h"

#include "base/Endian.h"
#include "fs/Checksum.h"

using namespace DiskFormat;

namespace FileContent {

namespace {

    // Content goes to the disk in requests of this many blocks: few enough
    // that a file patched on the disk needs only a buffer of this size, many
    // enough that the drive's cache is flushed seldom.
    constexpr u32 ChunkBlocks = 2048;
    constexpr u32 Prefix = DirectoryRecord::LengthPrefixSize;

    ErrorOr<u32> checked_length(DirectoryRecord const& record, ByteBuffer const& first_block)
    {
        auto claimed = record.content_length();
        if (!claimed || read_le32(first_block, 0) != *claimed)
            return Error(CorruptFileRecord);
        return *claimed;
    }

    // Stream block `index` of a file of `length` bytes: the length word
    // first (block 0), the bytes, zeros after the last. Made in `block` from
    // the content bytes it holds, which go into `checksum`.
    ErrorOr<void> make_edge_block(
        u32 index, u32 length, Source& source, ByteBuffer& room, ContentChecksum& checksum, ByteBuffer& block)
    {
        u64 begin = static_cast<u64>(index) * BlockDevice::BlockSize;
        u64 stream_end = static_cast<u64>(length) + Prefix;
        u64 end = begin + BlockDevice::BlockSize < stream_end ? begin + BlockDevice::BlockSize : stream_end;
        block.resize(BlockDevice::BlockSize);
        __builtin_memset(block.data(), 0, block.size());
        if (index == 0)
            write_le32(block, 0, length);
        u64 first = begin < Prefix ? Prefix : begin;
        if (end > first) {
            auto content = TRY(source.bytes(first - Prefix, end - first, room));
            __builtin_memcpy(block.data() + (first - begin), content.data(), content.size());
            checksum.add(content);
        }
        return {};
    }

}

ErrorOr<ByteBuffer> read(BlockStore& store, DirectoryRecord const& record)
{
    return read_range(store, record, 0, MaxFileLength);
}

ErrorOr<ByteBuffer> read_range(BlockStore& store, DirectoryRecord const& record, u64 offset, u32 length)
{
    if (!record.content_length())
        return Error(CorruptFileRecord);
    ByteBuffer first = TRY(store.read({ record.address, 1 }));
    u32 file_length = TRY(checked_length(record, first));
    if (offset >= file_length)
        return ByteBuffer {};
    if (length > file_length - offset)
        length = static_cast<u32>(file_length - offset);
    // Stream bytes [begin, end) hold them; the length word is stream bytes
    // 0-3, content byte i is stream byte i + 4.
    u64 begin = offset + Prefix;
    u64 end = begin + length;
    u32 first_block = static_cast<u32>(begin / BlockDevice::BlockSize);
    u32 blocks = static_cast<u32>((end + BlockDevice::BlockSize - 1) / BlockDevice::BlockSize) - first_block;
    // The block with the length may hold them all.
    ByteBuffer range = static_cast<ByteBuffer&&>(first);
    if (first_block != 0 || blocks != 1)
        TRY(store.read_into({ record.address + first_block, blocks }, range));
    size_t skip = static_cast<size_t>(begin - static_cast<u64>(first_block) * BlockDevice::BlockSize);
    __builtin_memmove(range.data(), range.data() + skip, length);
    range.resize(length);
    return range;
}

ErrorOr<std::span<u8 const>> BufferSource::bytes(u64 offset, size_t length, ByteBuffer&)
{
    return std::span<u8 const>(m_data.data() + offset, length);
}

ErrorOr<std::span<u8 const>> PatchSource::bytes(u64 offset, size_t length, ByteBuffer& room)
{
    if (room.size() != length)
        room = TRY(try_allocate_bytes(length));
    u64 end = offset + length;
    u64 old_length = *m_file.content_length();
    // What the old content gives, then the new bytes over it.
    __builtin_memset(room.data(), 0, length);
    if (offset < old_length) {
        auto old = TRY(read_range(m_store, m_file, offset, static_cast<u32>(length)));
        __builtin_memcpy(room.data(), old.data(), old.size());
    }
    u64 from = offset > m_offset ? offset : m_offset;
    u64 to = end < m_offset + m_data.size() ? end : m_offset + m_data.size();
    if (from < to)
        __builtin_memcpy(room.data() + (from - offset), m_data.data() + (from - m_offset), to - from);
    return std::span<u8 const>(room);
}

// The blocks go out a chunk at a time, each chunk in one request: the first
// block (with the length) and a last partial one are made apart, and the
// whole blocks between go from wherever the source holds them, so a file in
// memory is neither copied nor held twice.
ErrorOr<i32> write(BlockStore& store, BlockNumber address, u32 length, Source& source)
{
    u32 blocks = blocks_for_file(length);
    u64 stream_length = static_cast<u64>(length) + Prefix;
    // Blocks 1 to whole_end - 1 hold content only.
    u32 whole_end = static_cast<u32>(stream_length / BlockDevice::BlockSize);
    ContentChecksum checksum;
    ByteBuffer head, middle_room, tail, edge_room;
    for (u32 done = 0; done < blocks;) {
        // A last block on its own would cost a request and a flush of its
        // own (a file of 1 MiB is 2048 blocks and 4 bytes): it joins the
        // chunk before it.
        u32 end = blocks - done <= ChunkBlocks + 1 ? blocks : done + ChunkBlocks;
        BlockPiece pieces[3];
        size_t count = 0;
        if (done == 0) {
            TRY(make_edge_block(0, length, source, edge_room, checksum, head));
            pieces[count++] = head;
        }
        u32 middle_begin = done > 1 ? done : 1;
        u32 middle_end = end < whole_end ? end : whole_end;
        if (middle_end > middle_begin) {
            u64 offset = static_cast<u64>(middle_begin) * BlockDevice::BlockSize - Prefix;
            size_t bytes = static_cast<size_t>(middle_end - middle_begin) * BlockDevice::BlockSize;
            auto content = TRY(source.bytes(offset, bytes, middle_room));
            checksum.add(content);
            pieces[count++] = content;
        }
        if (end == blocks && blocks - 1 >= whole_end && blocks > 1) {
            TRY(make_edge_block(blocks - 1, length, source, edge_room, checksum, tail));
            pieces[count++] = tail;
        }
        TRY(store.write(address + done, { pieces, count }));
        done = end;
    }
    return checksum.result();
}

}
