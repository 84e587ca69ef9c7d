#pragma once

// A disk in host memory that counts its requests, can refuse them and can
// lose its power: the storage tests' disk, and the fuzzers' disk image.

#include "fs/BlockDevice.h"

#include <algorithm>
#include <vector>

class MemoryDisk : public BlockDevice {
public:
    explicit MemoryDisk(u64 blocks)
        : bytes(blocks * BlockSize, 0)
    {
    }

    ErrorOr<void> read_block(u64 first, u32 count, ByteBuffer& buffer) override
    {
        TRY(check_request(first, count, buffer.size()));
        if (bad_block >= first && bad_block < first + count)
            return Error("ATA Error");
        ++reads;
        std::copy_n(bytes.data() + first * BlockSize, buffer.size(), buffer.data());
        return {};
    }
    ErrorOr<void> write_blocks(u64 first, std::span<BlockPiece const> pieces) override
    {
        u32 count = TRY(check_request(first, pieces));
        if (writes_left == 0)
            return Error("ATA Error");
        if (writes_left > 0)
            --writes_left;
        ++writes;
        blocks_written += count;
        // The power fails between two sectors: those before land, none after.
        u32 landed = sectors_left >= 0 && sectors_left < count ? static_cast<u32>(sectors_left) : count;
        if (sectors_left >= 0)
            sectors_left -= landed;
        u8* to = bytes.data() + first * BlockSize;
        size_t left = static_cast<size_t>(landed) * BlockSize;
        for (auto const& piece : pieces) {
            size_t n = std::min(left, piece.size());
            to = std::copy_n(piece.data(), n, to);
            left -= n;
        }
        if (landed < count)
            return Error("ATA Error");
        return {};
    }
    u64 block_count() const override { return bytes.size() / BlockSize; }

    u8* block(u64 n) { return bytes.data() + n * BlockSize; }

    std::vector<u8> bytes;
    int reads { 0 };
    int writes { 0 };
    u64 blocks_written { 0 };
    int writes_left { -1 };  // -1: unlimited
    i64 sectors_left { -1 }; // sectors written before the power fails; -1: it never does
    u64 bad_block { ~0ull }; // reads that touch it fail
};
