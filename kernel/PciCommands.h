#pragma once

#include "kernel/Kernel.h"

// `pci`: the devices found at start-up, as the shell's device table.
void register_pci_commands(Vector<Command>& table);
