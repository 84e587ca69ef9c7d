#pragma once

// Helpers for the storage tests: a formatted volume on a partition of an
// in-memory disk, and conversions for checking results.

#include "base/StdString.h"
#include "fs/DiskFilesystem.h"
#include "fs/FsCheck.h"
#include "tests/sim/MemoryDisk.h"
#include "tests/sim/Sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

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
    return result.is_error() ? ascii(result.error().message()) : std::string();
}

// The first problem the file-system check finds, or "" for a clean volume.
inline std::string first_problem(DiskFilesystem& fs)
{
    auto problems = FsCheck::run(fs);
    if (problems.is_error())
        return error_of(problems);
    return problems.value().is_empty() ? std::string() : ascii(problems.value()[0]);
}

// A formatted volume on a partition at sector 2048 of an in-memory disk,
// used by the superuser unless a test says otherwise.
struct Volume {
    explicit Volume(u64 partition_blocks = 4096, String const& label = "TESSARY")
        : disk(2048 + partition_blocks)
        , partition(disk, 2048, partition_blocks)
        , fs(formatted(partition, user, label), user)
    {
    }
    // Formats `partition` before the volume's file system reads its
    // superblock, as mounting a freshly formatted partition does.
    static Partition& formatted(Partition& partition, User const& user, String const& label)
    {
        // Time stamps read the clock: unattached ports then read as zero,
        // a clock that is never busy updating.
        Sim::set_unattached_read_value(0);
        EXPECT_FALSE(DiskFilesystem(partition, user).format(label).is_error());
        return partition;
    }
    // Block n of the partition.
    u8* block(u64 n) { return disk.block(2048 + n); }
    // The records of the node at block n, and the node rewritten in place.
    Vector<DirectoryRecord> node(u64 n)
    {
        ByteBuffer bytes;
        bytes.resize(DiskFormat::NodeSize);
        std::copy_n(block(n), bytes.size(), bytes.data());
        return DiskFormat::decode_node(bytes).value().records;
    }
    void write_node(u64 n, Vector<DirectoryRecord> const& records)
    {
        ByteBuffer bytes = DiskFormat::encode_node(records).value();
        std::copy(bytes.begin(), bytes.end(), block(n));
    }
    // The block of the node of the directory at `path` (the root's for "").
    u64 node_of(String const& path)
    {
        return Path(path).is_root() ? DiskFormat::RootNode.value() : fs.stat(path).value().address.value();
    }
    i32 next_free() { return fs.next_free_block().value().stored(); }

    MemoryDisk disk;
    Partition partition;
    // The user the volume is used by, as the system's logged-in user.
    User user { User::root() };
    DiskFilesystem fs;
};
