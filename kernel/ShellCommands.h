#pragma once

#include "kernel/Kernel.h"

// The shell's own commands: help screens, cls, info, time, the script
// runner, the key echo test, the progress-bar demonstration, the heap meter
// (mem) and the commands that do nothing (chmod with an argument, bas).
void register_shell_commands(Vector<Command>& table);
