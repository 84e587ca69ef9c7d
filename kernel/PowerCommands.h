#pragma once

#include "kernel/Kernel.h"

// reboot and shutdown.
void RegisterPowerCommands(Vector<Command>& table);
