#pragma once

#include "base/Vector.h"

#include <span>

// The content checksum stored with every file record: an additive sum, not
// a CRC. h = 23; for the i-th byte b (from 1) add (i OR b); multiply by the
// length. 32-bit wrapping arithmetic.
i32 content_checksum(ByteBuffer const& bytes);

// The same checksum over bytes that arrive in pieces, in order: a file
// written or read a chunk at a time.
class ContentChecksum {
public:
    void add(std::span<u8 const> bytes)
    {
        for (u8 b : bytes) {
            ++m_count;
            m_sum += m_count | b;
        }
    }
    i32 result() const { return static_cast<i32>(m_sum * m_count); }

private:
    u32 m_sum { 23 };
    u32 m_count { 0 };
};
