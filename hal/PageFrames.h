#pragma once

#include "base/Error.h"

// Memory for a program's pages and page tables: whole pages, zero-filled,
// at a page-aligned physical address. The kernel takes them from its heap,
// so `mem` counts them and they come back when the program ends.
namespace PageFrames {
// "Not enough memory" when no run of `bytes` (a multiple of the page size)
// is free, leaving the heap's reserve for the kernel.
ErrorOr<u32> take(u32 bytes);
void give_back(u32 address);
}
