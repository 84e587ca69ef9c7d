#pragma once

// Fixed-width integer names used everywhere in the tree. The kernel is a
// 32-bit freestanding image; the host build shares these sources, so nothing
// here may depend on the width of `long` or of a pointer.
#include <stddef.h>
#include <stdint.h>

using u8 = uint8_t;
using u16 = uint16_t;
using u32 = uint32_t;
using u64 = uint64_t;
using i8 = int8_t;
using i16 = int16_t;
using i32 = int32_t;
using i64 = int64_t;
