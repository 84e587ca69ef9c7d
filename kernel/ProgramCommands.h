#pragma once

#include "kernel/Kernel.h"

// exe, exexe, exexe2 and run: loading and running MZ programs from the disk.
void register_program_commands(Vector<Command>& table);
