#pragma once

#include "kernel/Kernel.h"

// `pci`: the devices found at start-up, as the shell's device table.
void register_pci_commands(Vector<Command>& table);
// The start-up walk of the PCI buses, one line on screen per function found.
ErrorOr<void> find_pci_devices();
