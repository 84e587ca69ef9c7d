#pragma once

#include "kernel/Kernel.h"

// `showgui`, `hdvga` and `svga`: the desktop, the planar 640x480
// demonstration and the SVGA pointer screen.
void register_graphics_commands(Vector<Command>& table);
