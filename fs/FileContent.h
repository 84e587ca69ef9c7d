#pragma once

#include "fs/BlockStore.h"

#include <span>

// A file's content on the disk: from its record's address, the 32-bit length
// n and the n bytes, zeros to the end of the last block.
namespace FileContent {

// The bytes a file record's content holds. The record's size and the length
// stored with the content must agree ("Corrupt file record"): a damaged
// record must not claim more than is there.
ErrorOr<ByteBuffer> read(BlockStore& store, DirectoryRecord const& record);
// Up to `length` bytes from byte `offset` (fewer at the end, none past it),
// reading only the blocks that hold them and the length before them.
ErrorOr<ByteBuffer> read_range(BlockStore& store, DirectoryRecord const& record, u64 offset, u32 length);

// Where the bytes of a file being written come from: asked for them in
// order, a chunk at a time.
class Source {
public:
    virtual ~Source() = default;
    // The content bytes [offset, offset + length): where the source holds
    // them in memory, or filled into `room` (resized to fit). The bytes stay
    // valid until `room` changes.
    virtual ErrorOr<std::span<u8 const>> bytes(u64 offset, size_t length, ByteBuffer& room) = 0;
};

// A file's bytes held in memory: they go to the disk from where they are.
class BufferSource : public Source {
public:
    explicit BufferSource(ByteBuffer const& data)
        : m_data(data)
    {
    }
    ErrorOr<std::span<u8 const>> bytes(u64 offset, size_t length, ByteBuffer& room) override;

private:
    ByteBuffer const& m_data;
};

// An existing file with `data` written over it from `offset`: past its end
// it grows, and what lies between its end and `offset` reads as zeros.
class PatchSource : public Source {
public:
    PatchSource(BlockStore& store, DirectoryRecord const& file, u64 offset, ByteBuffer const& data)
        : m_store(store)
        , m_file(file)
        , m_offset(offset)
        , m_data(data)
    {
    }
    ErrorOr<std::span<u8 const>> bytes(u64 offset, size_t length, ByteBuffer& room) override;

private:
    BlockStore& m_store;
    DirectoryRecord const& m_file;
    u64 m_offset;
    ByteBuffer const& m_data;
};

// Writes a file of `length` bytes from `source` from `address`, into
// blocks_for_file blocks that no record points at yet; returns the content
// checksum.
ErrorOr<i32> write(BlockStore& store, BlockNumber address, u32 length, Source& source);

}
