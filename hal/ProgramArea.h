#pragma once

#include "arch/Paging.h"

// Where a program's load module goes: the low program range, from 1 MiB up
// to the kernel image at 0x500000, which programs have always been linked
// for. The module and its zeroed extra memory must fit below End.
namespace ProgramArea {
constexpr u32 Base = Paging::LowProgramBase;
constexpr u32 End = Paging::LowProgramEnd;
}
