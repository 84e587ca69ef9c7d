#pragma once

#include "kernel/Kernel.h"

// `net`: the card, its address and its counters, or a new address set by
// hand; `ping`: four echo requests to an address, a second apart.
void register_network_commands(Vector<Command>& table);
