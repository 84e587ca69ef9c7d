#pragma once

#include "hal/MemoryWindow.h"

// The memory programs run in: from 1 MiB up to the kernel image at 0x500000.
// Nothing else uses it once the boot has read the Multiboot information. The
// load module starts at the bottom, the program's stack ends at the top.
namespace ProgramArea {
constexpr u32 Base = 0x00100000;
constexpr u32 End = 0x00500000;
constexpr u32 StackSize = 64 * 1024;
// The load module and its zeroed extra memory end at or below this.
constexpr u32 ImageLimit = End - StackSize;
constexpr u32 MaxPathLength = 255;

// The one check of a program's buffer: a window on [address, address +
// length) when all of it lies inside the area, an empty window for a length
// of 0 wherever it points. A null pointer, a range outside the area or one
// that wraps round fails, touching nothing.
ErrorOr<MemoryWindow> buffer(u32 address, u32 length);
// The 0-terminated string at `address`: at most MaxPathLength bytes before
// the 0, all inside the area.
ErrorOr<String> path(u32 address);
}
