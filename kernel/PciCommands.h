#pragma once

#include "kernel/Kernel.h"

// `pci`: the devices found at start-up, as the shell's device table.
void RegisterPciCommands(Vector<Command>& table);
