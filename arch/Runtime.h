#pragma once

#include "base/Types.h"

// What the runtime (arch/i386/Runtime.cpp) and the layers above it know of
// each other.

// Machine facts from the boot image; the simulated machine reports its own
// (tests/sim/Machine.cpp). Memory in MiB as the boot loader's upper-memory
// figure gives it, rounded down, plus the first MiB.
u32 get_amount_of_ram();
// First byte after the kernel image (code, data, stack and BSS).
u32 get_end_of_kernel();

// Called by the runtime once global constructors have run: makes the one
// kernel object and starts it. Defined above the seam, in kernel/Main.cpp.
// Never returns while the system runs.
void run_kernel();
