#pragma once

#include "kernel/Kernel.h"

// reboot and shutdown.
void register_power_commands(Vector<Command>& table);
