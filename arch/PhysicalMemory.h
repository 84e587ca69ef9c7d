#pragma once

#include "base/Types.h"

// The second hardware primitive: physical memory. The kernel runs without
// paging, so in the image a physical address is the pointer itself; the host
// tests back the ranges they use with simulated memory.
namespace PhysicalMemory {
// Pointer to `length` bytes at physical address `base`, or null when the
// range runs past the end of the 32-bit address space or, in the simulated
// machine, is not backed.
u8* map(u32 base, u32 length);
}
