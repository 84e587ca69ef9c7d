#pragma once

#include "base/Error.h"

#include <span>

class AhciDisk;
class AtaPio;
class Partition;

// Whole blocks lying in one place in memory: one piece of a gathered write.
using BlockPiece = std::span<u8 const>;

// The bytes of a gathered write in order, as runs that each lie in one
// place in memory: how a driver hands them to its controller, whatever its
// transfers' sizes.
class BlockPieceCursor {
public:
    explicit BlockPieceCursor(std::span<BlockPiece const> pieces)
        : m_pieces(pieces)
    {
    }
    // The next bytes, at most `limit` of them, from one piece.
    std::span<u8 const> take(size_t limit)
    {
        while (m_offset == m_pieces[m_index].size()) {
            ++m_index;
            m_offset = 0;
        }
        BlockPiece piece = m_pieces[m_index];
        size_t bytes = piece.size() - m_offset < limit ? piece.size() - m_offset : limit;
        auto run = piece.subspan(m_offset, bytes);
        m_offset += bytes;
        return run;
    }

private:
    std::span<BlockPiece const> m_pieces;
    size_t m_index { 0 };
    size_t m_offset { 0 };
};

// A device addressed in 512-byte blocks: an ATA drive, a partition of one,
// or (in the host tools and tests) an image file or a buffer.
class BlockDevice {
public:
    static constexpr u32 BlockSize = 512;

    virtual ~BlockDevice() = default;

    // `buffer` must hold exactly count * BlockSize bytes ("Invalid data size.").
    virtual ErrorOr<void> read_block(u64 first, u32 count, ByteBuffer& buffer) = 0;
    // Consecutive blocks from `first` on, gathered from `pieces` in order, as
    // one request: the data is on the medium when it returns. Every piece
    // holds whole blocks ("Invalid data size."). A file's bytes go out from
    // where the caller holds them, without being copied into one buffer.
    virtual ErrorOr<void> write_blocks(u64 first, std::span<BlockPiece const> pieces) = 0;
    ErrorOr<void> write_block(u64 first, u32 count, ByteBuffer const& buffer);
    // Number of blocks the device holds.
    virtual u64 block_count() const = 0;

    // The partition behind this device, or null for a whole disk.
    virtual Partition* as_partition() { return nullptr; }
    // The IDE drive behind this device, or null (the disk benchmark's
    // baselines need the drive's own transfer modes).
    virtual AtaPio* as_ata_pio() { return nullptr; }
    // The AHCI disk behind this device, or null (the benchmarks name its
    // figures apart from the IDE drive's).
    virtual AhciDisk* as_ahci() { return nullptr; }

protected:
    // The checks every device makes before a transfer.
    ErrorOr<void> check_request(u64 first, u32 count, size_t buffer_size) const;
    // The same for a gathered write; gives the number of blocks.
    ErrorOr<u32> check_request(u64 first, std::span<BlockPiece const> pieces) const;
};
