#pragma once

#include "kernel/Kernel.h"

// The shell's command table. Each group of commands lives in its own file
// pair and contributes its entries through one register_..._commands
// function, called from here.
Vector<Command> shell_commands();
