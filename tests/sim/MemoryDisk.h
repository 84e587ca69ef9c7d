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

    ErrorOr<void> ReadBlock(u64 first, u32 count, ByteBuffer& buffer) override
    {
        TRY(CheckRequest(first, count, buffer.size()));
        if (badBlock >= first && badBlock < first + count)
            return Error("ATA Error");
        ++reads;
        std::copy_n(bytes.data() + first * BlockSize, buffer.size(), buffer.data());
        return {};
    }
    ErrorOr<void> WriteBlock(u64 first, u32 count, ByteBuffer const& buffer) override
    {
        TRY(CheckRequest(first, count, buffer.size()));
        if (writesLeft == 0)
            return Error("ATA Error");
        if (writesLeft > 0)
            --writesLeft;
        ++writes;
        // The power fails between two sectors: those before land, none after.
        u32 landed = sectorsLeft >= 0 && sectorsLeft < count ? static_cast<u32>(sectorsLeft) : count;
        if (sectorsLeft >= 0)
            sectorsLeft -= landed;
        std::copy_n(buffer.data(), static_cast<size_t>(landed) * BlockSize, bytes.data() + first * BlockSize);
        if (landed < count)
            return Error("ATA Error");
        return {};
    }
    u64 BlockCount() const override { return bytes.size() / BlockSize; }

    u8* block(u64 n) { return bytes.data() + n * BlockSize; }

    std::vector<u8> bytes;
    int reads { 0 };
    int writes { 0 };
    int writesLeft { -1 }; // -1: unlimited
    i64 sectorsLeft { -1 }; // sectors written before the power fails; -1: it never does
    u64 badBlock { ~0ull }; // reads that touch it fail
};
