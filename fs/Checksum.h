#pragma once

#include "base/Vector.h"

// The content checksum stored with every file record: an additive sum, not
// a CRC. h = 23; for the i-th byte b (from 1) add (i OR b); multiply by the
// length. 32-bit wrapping arithmetic.
i32 content_checksum(ByteBuffer const& bytes);
