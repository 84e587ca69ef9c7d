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
        // i OR b is i plus the bits of b that i lacks, and only the low byte
        // of i can share a bit with b. So the sum of the i is one formula,
        // and what is left, the sum of (b AND NOT i), is taken four bytes at
        // a time in the lanes of a word: whole files go through here, and
        // under emulation every load and every turn of a loop is dear.
        static_assert(std::endian::native == std::endian::little);
        u32 n = static_cast<u32>(bytes.size());
        u32 count = m_count;
        // (count + 1) + ... + (count + n), wrapping like the rest.
        u32 series = n % 2 == 0 ? (n / 2) * (n + 1) : n * ((n + 1) / 2);
        u32 sum = m_sum + n * count + series;
        // The low bytes of count + 1 to count + 4, one to a lane.
        u32 low = 0;
        for (u32 lane = 0; lane < 4; ++lane)
            low |= ((count + 1 + lane) & 0xFF) << (8 * lane);
        u8 const* p = bytes.data();
        for (u32 words = n / 4; words > 0;) {
            // Two accumulators hold the four byte lanes in 16-bit halves,
            // which 256 words cannot overflow.
            u32 round = words < 256 ? words : 256;
            u32 even = 0;
            u32 odd = 0;
            for (u32 k = 0; k < round; ++k, p += 4) {
                u32 word;
                __builtin_memcpy(&word, p, sizeof word);
                u32 lacking = word & ~low;
                even += lacking & 0x00FF00FF;
                odd += (lacking >> 8) & 0x00FF00FF;
                // Each lane's count moves on by four, wrapping within its byte.
                low = ((low & 0x7F7F7F7F) + 0x04040404) ^ (low & 0x80808080);
            }
            sum += (even & 0xFFFF) + (even >> 16) + (odd & 0xFFFF) + (odd >> 16);
            words -= round;
        }
        count += n & ~3u;
        for (u32 left = n % 4; left > 0; --left, ++p)
            sum += *p & ~++count;
        m_sum = sum;
        m_count = count;
    }
    i32 result() const { return static_cast<i32>(m_sum * m_count); }

private:
    u32 m_sum { 23 };
    u32 m_count { 0 };
};
