#pragma once

#include "kernel/Kernel.h"

// exe, exexe and exexe2: loading and running MZ programs from the disk.
void RegisterProgramCommands(Vector<Command>& table);
