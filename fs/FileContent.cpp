#include "fs/FileContent.h"

#include "base/Endian.h"

using namespace DiskFormat;

namespace FileContent {

namespace {

    // Content goes to the disk through a buffer of this many blocks, so a save
    // needs little more memory than the file itself.
    constexpr u32 ChunkBlocks = 128;

}

ErrorOr<ByteBuffer> read(BlockStore& store, DirectoryRecord const& record)
{
    auto claimed = record.content_length();
    if (!claimed)
        return Error(CorruptFileRecord);
    ByteBuffer content = TRY(store.read({ record.address, 1 }));
    u32 length = read_le32(content, 0);
    if (length != *claimed)
        return Error(CorruptFileRecord);
    u32 blocks = blocks_for_file(length);
    if (blocks > 1)
        TRY(store.read_into({ record.address, blocks }, content));
    // The bytes follow their length in the same buffer: move them to the
    // front rather than copying a whole file into a second one.
    __builtin_memmove(content.data(), content.data() + 4, length);
    content.resize(length);
    return content;
}

ErrorOr<void> write(BlockStore& store, BlockNumber address, ByteBuffer const& data)
{
    u32 blocks = blocks_for_file(static_cast<u32>(data.size()));
    size_t stream_length = data.size() + DirectoryRecord::LengthPrefixSize;
    ByteBuffer chunk;
    for (u32 done = 0; done < blocks;) {
        u32 count = blocks - done < ChunkBlocks ? blocks - done : ChunkBlocks;
        chunk.resize(0);
        chunk.resize(static_cast<size_t>(count) * BlockDevice::BlockSize);
        // Stream bytes [begin, end) go in this chunk; the length word is
        // stream bytes 0-3, content byte i is stream byte i + 4.
        size_t begin = static_cast<size_t>(done) * BlockDevice::BlockSize;
        size_t end = begin + chunk.size() < stream_length ? begin + chunk.size() : stream_length;
        for (size_t i = begin; i < 4 && i < end; ++i)
            chunk[i - begin] = static_cast<u8>(data.size() >> (8 * i));
        size_t first = begin < 4 ? 4 : begin;
        if (end > first)
            __builtin_memcpy(chunk.data() + (first - begin), data.data() + (first - 4), end - first);
        TRY(store.write(address + done, chunk));
        done += count;
    }
    return {};
}

}
