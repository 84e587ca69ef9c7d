#pragma once

#include "base/Types.h"

// The second hardware primitive: physical memory. The kernel runs without
// paging, so in the image a physical address is the pointer itself; the host
// tests back the ranges they use with simulated memory.
namespace PhysicalMemory {
// Pointer to `length` bytes at physical address `base`, or null when the
// range is not backed (only possible in the simulated machine).
u8* map(u32 base, u32 length);
}
