#pragma once

#include "base/Types.h"

// The PS/2 mouse on the 8042's auxiliary port. The IRQ 12 routine assembles
// three-byte packets into a pointer position clamped to the 320x200 desktop
// and the button state; the desktops poll them through the accessors, which
// read the interrupt-filled state with volatile loads.
namespace Mouse {

// Switches the auxiliary device on with its interrupt, puts the mouse in
// streaming mode and installs the handler. Safe to repeat.
void initialize();

i32 x();
i32 y();
// Bit 0 left, bit 1 right, bit 2 middle.
i32 buttons();
// Counts the interrupts handled, so a loop can sleep until the next one.
u32 events();
// How many bytes of the packet under way have arrived (0-2).
u32 packet_bytes_taken();

// Halts until an interrupt after the one counted in `seen` has been
// handled; one that came in meanwhile ends the wait at once.
void wait_for_event(u32 seen);

// Puts the pointer at (x, y) with no button down and no packet under
// way, as a machine that has just started the mouse would have it.
void reset(i32 x, i32 y);

}
