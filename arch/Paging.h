#pragma once

#include "base/Types.h"

// The third hardware primitive: the processor's page tables. There is one
// page directory. It maps all of memory one to one for ring 0 only, so the
// kernel's addresses are physical ones, as before paging. The two program
// ranges below hold nothing the kernel uses while a program runs: there the
// running program's own pages replace the kernel's entries, which come back
// when it ends (hal/ProgramMemory.h).
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
// stack. The kernel heap ends below it; firmware tables that lie here are
// read at the boot and by power-off, never during a program.
constexpr u32 HighProgramBase = 0x40000000;
constexpr u32 HighProgramEnd = 0x80000000;

// The page an address lies in, and the first page boundary at or above one
// (64-bit: the end of a range may lie at 4 GiB).
constexpr u32 page_down(u32 address) { return address & ~(PageSize - 1); }
constexpr u64 page_up(u64 address) { return (address + PageSize - 1) & ~static_cast<u64>(PageSize - 1); }

// The kernel's one-to-one entries: a page of the first 8 MiB, which have
// tables of their own, and 4 MiB anywhere else.
constexpr u32 kernel_page(u32 address) { return address | Present | Writable; }
constexpr u32 kernel_large_page(u32 address) { return address | Present | Writable | LargePage; }

// Physical address of the page directory.
u32 directory();
// Drops the processor's cached translations after entries changed.
void flush();
// The address the last page fault touched (CR2).
u32 fault_address();

}
