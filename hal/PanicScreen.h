#pragma once

#include "base/Types.h"

// The last word after a processor exception. Nothing here allocates: the
// fault may have come from inside the allocator, or with the heap used up
// or broken.
namespace PanicScreen {
[[noreturn]] void panic(char const* message);
// Writes text straight into row 0 of text memory with one attribute,
// without the console: for failures where the console cannot be trusted.
void write_raw_line(char const* text, u8 attribute);
}
