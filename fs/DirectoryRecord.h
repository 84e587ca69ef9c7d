#pragma once

#include "base/String.h"

// One directory record in memory.
struct DirectoryRecord {
    static constexpr u8 File = 1;
    static constexpr u8 Directory = 2;

    u8 ownerPermissions { 6 };
    String dateTime;
    i32 address { 0 };
    String owner;
    String name;
    i32 size { 0 };
    u8 groupPermissions { 4 };
    u8 otherPermissions { 4 };
    i32 checksum { 0 };
    u8 type { 0 };

    bool isDirectory() const { return type == Directory; }
};
