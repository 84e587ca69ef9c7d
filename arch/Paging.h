#pragma once

#include "base/Types.h"

// The third hardware primitive: the processor's page tables. There is one
// page directory. The kernel maps itself and all memory one to one (its
// addresses are physical ones, as before paging), reachable from ring 0
// only; the two program ranges below hold nothing of the kernel's and are
// where a program's own pages go (hal/ProgramMemory.h).
namespace Paging {

constexpr u32 PageSize = 4096;
// Bytes one directory entry covers.
constexpr u32 TableSpan = 1024 * PageSize;

// Entry bits.
constexpr u32 Present = 0x001;
constexpr u32 Writable = 0x002;
constexpr u32 User = 0x004;
constexpr u32 LargePage = 0x080;
constexpr u32 FrameMask = 0xFFFFF000;

// Programs linked for the old program area at 1 MiB, below the kernel image.
constexpr u32 LowProgramBase = 0x00100000;
constexpr u32 LowProgramEnd = 0x00500000;
// Everything else a program has: its image when linked there, its heap, its
// stack. No memory of the kernel's lies here, so the kernel uses no more
// than the first GiB.
constexpr u32 HighProgramBase = 0x40000000;
constexpr u32 HighProgramEnd = 0x80000000;

// Physical address of the page directory.
u32 directory();
// Drops the processor's cached translations after entries changed.
void flush();
// The address the last page fault touched (CR2).
u32 fault_address();

}
