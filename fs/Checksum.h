#pragma once

#include "base/Vector.h"

#include <bit>
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
        // Four bytes a round, from one load: whole files go through here, and
        // under emulation each load and each turn of the loop costs more
        // than the sum itself. The words are little-endian, as on every
        // machine this runs on.
        static_assert(std::endian::native == std::endian::little);
        u8 const* p = bytes.data();
        size_t left = bytes.size();
        u32 sum = m_sum;
        u32 count = m_count;
        for (; left >= 4; left -= 4, p += 4, count += 4) {
            u32 word;
            __builtin_memcpy(&word, p, sizeof word);
            sum += ((count + 1) | (word & 0xFF)) + ((count + 2) | ((word >> 8) & 0xFF))
                + ((count + 3) | ((word >> 16) & 0xFF)) + ((count + 4) | (word >> 24));
        }
        for (; left > 0; --left, ++p)
            sum += ++count | *p;
        m_sum = sum;
        m_count = count;
    }
    i32 result() const { return static_cast<i32>(m_sum * m_count); }

private:
    u32 m_sum { 23 };
    u32 m_count { 0 };
};
