#include "fs/FileContent.h"

#include "base/Endian.h"
#include "fs/Checksum.h"

using namespace DiskFormat;

namespace FileContent {

namespace {

    // Content goes to the disk through a buffer of this many blocks: few enough
    // that a save needs little more memory than the file itself, many enough
    // that the drive's cache is flushed seldom.
    constexpr u32 ChunkBlocks = 2048;
    constexpr u32 Prefix = DirectoryRecord::LengthPrefixSize;

    ErrorOr<u32> checked_length(DirectoryRecord const& record, ByteBuffer const& first_block)
    {
        auto claimed = record.content_length();
        if (!claimed || read_le32(first_block, 0) != *claimed)
            return Error(CorruptFileRecord);
        return *claimed;
    }

}

ErrorOr<ByteBuffer> read(BlockStore& store, DirectoryRecord const& record)
{
    if (!record.content_length())
        return Error(CorruptFileRecord);
    ByteBuffer content = TRY(store.read({ record.address, 1 }));
    u32 length = TRY(checked_length(record, content));
    u32 blocks = blocks_for_file(length);
    if (blocks > 1)
        TRY(store.read_into({ record.address, blocks }, content));
    // The bytes follow their length in the same buffer: move them to the
    // front rather than copying a whole file into a second one.
    __builtin_memmove(content.data(), content.data() + Prefix, length);
    content.resize(length);
    return content;
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

ErrorOr<void> BufferSource::fill(u64 offset, std::span<u8> out)
{
    __builtin_memcpy(out.data(), m_data.data() + offset, out.size());
    return {};
}

ErrorOr<void> PatchSource::fill(u64 offset, std::span<u8> out)
{
    u64 end = offset + out.size();
    u64 old_length = *m_file.content_length();
    // What the old content gives, then the new bytes over it.
    __builtin_memset(out.data(), 0, out.size());
    if (offset < old_length) {
        auto old = TRY(read_range(m_store, m_file, offset, static_cast<u32>(out.size())));
        __builtin_memcpy(out.data(), old.data(), old.size());
    }
    u64 from = offset > m_offset ? offset : m_offset;
    u64 to = end < m_offset + m_data.size() ? end : m_offset + m_data.size();
    if (from < to)
        __builtin_memcpy(out.data() + (from - offset), m_data.data() + (from - m_offset), to - from);
    return {};
}

ErrorOr<i32> write(BlockStore& store, BlockNumber address, u32 length, Source& source)
{
    u32 blocks = blocks_for_file(length);
    u64 stream_length = static_cast<u64>(length) + Prefix;
    ContentChecksum checksum;
    ByteBuffer chunk;
    for (u32 done = 0; done < blocks;) {
        u32 count = blocks - done < ChunkBlocks ? blocks - done : ChunkBlocks;
        if (chunk.size() != static_cast<size_t>(count) * BlockDevice::BlockSize)
            chunk = TRY(try_allocate_bytes(static_cast<size_t>(count) * BlockDevice::BlockSize));
        u64 begin = static_cast<u64>(done) * BlockDevice::BlockSize;
        u64 end = begin + chunk.size() < stream_length ? begin + chunk.size() : stream_length;
        for (u64 i = begin; i < Prefix && i < end; ++i)
            chunk[i - begin] = static_cast<u8>(length >> (8 * i));
        u64 first = begin < Prefix ? Prefix : begin;
        if (end > first) {
            std::span<u8> bytes(chunk.data() + (first - begin), end - first);
            TRY(source.fill(first - Prefix, bytes));
            checksum.add(bytes);
        }
        // The rest of the last block is zero.
        __builtin_memset(chunk.data() + (end - begin), 0, chunk.size() - (end - begin));
        TRY(store.write(address + done, chunk));
        done += count;
    }
    return checksum.result();
}

}
