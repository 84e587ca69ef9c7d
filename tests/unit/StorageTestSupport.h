#pragma once

// Helpers for the storage tests: an in-memory disk that counts, can refuse
// requests and can lose its power, and a formatted volume on a partition of it.

#include "fs/CurrentUser.h"
#include "fs/KLNFS.h"
#include "tests/sim/Sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

inline std::string narrow(String const& s)
{
    std::string out;
    for (char16_t c : s.chars())
        out += static_cast<char>(c & 0xFF);
    return out;
}

inline ByteBuffer bytes_of(std::string const& text)
{
    ByteBuffer bytes;
    for (char c : text)
        bytes.append(static_cast<u8>(c));
    return bytes;
}

inline std::string text_of(ByteBuffer const& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The message of a failed result, or "" when it succeeded.
template<typename T>
std::string error_of(ErrorOr<T> const& result)
{
    return result.is_error() ? narrow(result.error().message()) : std::string();
}

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
        for (size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = bytes[first * BlockSize + i];
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
        for (size_t i = 0; i < static_cast<size_t>(landed) * BlockSize; ++i)
            bytes[first * BlockSize + i] = buffer[i];
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

// A formatted volume on a partition at sector 2048 of an in-memory disk,
// used by the superuser unless a test says otherwise.
struct Volume {
    explicit Volume(u64 partitionBlocks = 4096, String const& label = "TESSARY")
        : disk(2048 + partitionBlocks)
        , partition(disk, 2048, partitionBlocks)
        , fs(partition)
    {
        CurrentUser::Privilages = 0;
        CurrentUser::Username = "root";
        // Time stamps read the clock: unattached ports then read as zero,
        // a clock that is never busy updating.
        Sim::set_unattached_read_value(0);
        EXPECT_FALSE(fs.Format(label).is_error());
        fs.label = label;
    }
    ~Volume()
    {
        CurrentUser::Privilages = 0;
        CurrentUser::Username = "root";
    }
    // Block n of the partition.
    u8* block(u64 n) { return disk.block(2048 + n); }
    i32 next_free() { return fs.getWriteAddress().value(); }

    MemoryDisk disk;
    Partition partition;
    KLNFS fs;
};
