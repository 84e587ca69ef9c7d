#pragma once

#include "base/Assertions.h"
#include "base/Types.h"

#include <span>

// Little-endian fields of on-disk and in-file structures (partition tables,
// the disk file system, MZ headers) and big-endian ones of network headers,
// read and written a byte at a time: the bytes may sit at any alignment, and
// the code does not depend on the byte order of the machine it is built for.
// A field past the end of the bytes is a broken invariant: callers check
// sizes that come from the data first.

inline u16 read_le16(std::span<u8 const> bytes, size_t offset)
{
    VERIFY(offset <= bytes.size() && bytes.size() - offset >= 2);
    return static_cast<u16>(bytes[offset] | bytes[offset + 1] << 8);
}

inline u32 read_le32(std::span<u8 const> bytes, size_t offset)
{
    VERIFY(offset <= bytes.size() && bytes.size() - offset >= 4);
    return static_cast<u32>(bytes[offset]) | static_cast<u32>(bytes[offset + 1]) << 8
        | static_cast<u32>(bytes[offset + 2]) << 16 | static_cast<u32>(bytes[offset + 3]) << 24;
}

inline void write_le32(std::span<u8> bytes, size_t offset, u32 value)
{
    VERIFY(offset <= bytes.size() && bytes.size() - offset >= 4);
    for (size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<u8>(value >> (8 * i));
}

inline u16 read_be16(std::span<u8 const> bytes, size_t offset)
{
    VERIFY(offset <= bytes.size() && bytes.size() - offset >= 2);
    return static_cast<u16>(bytes[offset] << 8 | bytes[offset + 1]);
}

inline u32 read_be32(std::span<u8 const> bytes, size_t offset)
{
    VERIFY(offset <= bytes.size() && bytes.size() - offset >= 4);
    return static_cast<u32>(bytes[offset]) << 24 | static_cast<u32>(bytes[offset + 1]) << 16
        | static_cast<u32>(bytes[offset + 2]) << 8 | static_cast<u32>(bytes[offset + 3]);
}

inline void write_be16(std::span<u8> bytes, size_t offset, u16 value)
{
    VERIFY(offset <= bytes.size() && bytes.size() - offset >= 2);
    bytes[offset] = static_cast<u8>(value >> 8);
    bytes[offset + 1] = static_cast<u8>(value);
}

inline void write_be32(std::span<u8> bytes, size_t offset, u32 value)
{
    VERIFY(offset <= bytes.size() && bytes.size() - offset >= 4);
    for (size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<u8>(value >> (24 - 8 * i));
}
