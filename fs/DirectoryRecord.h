#pragma once

#include "base/String.h"
#include "fs/BlockNumber.h"

#include <optional>

// One directory record in memory, field for field as the disk holds it.
struct DirectoryRecord {
    static constexpr u8 File = 1;
    static constexpr u8 Directory = 2;

    u8 owner_permissions { 6 };
    String date_time;
    BlockNumber address;
    String owner;
    String name;
    i32 size { 0 };
    u8 group_permissions { 4 };
    u8 other_permissions { 4 };
    i32 checksum { 0 };
    u8 type { 0 };

    // A file's size counts the 32-bit length stored before its bytes.
    static constexpr i32 LengthPrefixSize = 4;

    bool is_directory() const { return type == Directory; }
    // The bytes a file record says its content holds; none when its size is
    // too small to count even the length (a damaged record).
    std::optional<u32> content_length() const
    {
        if (size < LengthPrefixSize)
            return {};
        return static_cast<u32>(size - LengthPrefixSize);
    }
};
