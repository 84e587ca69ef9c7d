#pragma once

#include "base/Types.h"

// A block of a volume, counted from the start of its partition. The disk
// stores block numbers as 32-bit fields that the format reads as signed, so
// a damaged record may hold a negative one: read as the unsigned 32 bits it
// is a number beyond 2^31, past the end of every partition the format can
// address, and the bounds check of every transfer turns it away.
class BlockNumber {
public:
    constexpr BlockNumber() = default;
    constexpr explicit BlockNumber(u32 value)
        : m_value(value)
    {
    }

    constexpr u32 value() const { return m_value; }
    // As the disk's signed field holds it.
    constexpr i32 stored() const { return static_cast<i32>(m_value); }

    constexpr BlockNumber operator+(u32 count) const { return BlockNumber(m_value + count); }
    // Blocks from `other` up to this one.
    constexpr u32 operator-(BlockNumber other) const { return m_value - other.m_value; }
    constexpr auto operator<=>(BlockNumber const&) const = default;

private:
    u32 m_value { 0 };
};

// A run of `count` consecutive blocks from `first`: what a file's content or
// a directory node takes on the disk.
struct Extent {
    BlockNumber first;
    u32 count { 0 };

    // One past the last block, in 64 bits: a damaged record's extent may run
    // past 2^32.
    u64 end() const { return static_cast<u64>(first.value()) + count; }
    bool overlaps(Extent const& other) const { return first.value() < other.end() && other.first.value() < end(); }
};
