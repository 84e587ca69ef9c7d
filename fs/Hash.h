#pragma once

#include "base/Vector.h"

// The content checksum stored with every file record.
class Hash {
public:
    // h = 23; for the i-th byte b (from 1) add (i OR b); multiply by the
    // length. 32-bit wrapping arithmetic.
    static i32 KHash(ByteBuffer const& bytes);
    static i32 getCRC(ByteBuffer const& bytes) { return KHash(bytes); }
};
