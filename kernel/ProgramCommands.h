#pragma once

#include "kernel/Kernel.h"

// exe, exexe and exexe2: loading and running MZ programs from the disk.
void register_program_commands(Vector<Command>& table);
