#pragma once

#include "hal/Interrupts.h"

// The PS/2 mouse on the 8042's auxiliary port. The IRQ 12 routine assembles
// three-byte packets into a pointer position clamped to the 320x200 desktop
// and the button state; the desktops poll the three public fields.
class Mouse {
public:
    // Switches the auxiliary device on with its interrupt, puts the mouse in
    // streaming mode and installs the handler. Safe to repeat.
    static void Initialize();
    static void HandleMouse(IRQContext& context);

    static void WaitSignal();
    static void WaitData();
    static void Write(u8 value);

    static i32 volatile X;
    static i32 volatile Y;
    // Bit 0 left, bit 1 right, bit 2 middle.
    static i32 volatile Buttons;

    // Counts the interrupts handled, so a loop can sleep until the next one.
    static u32 volatile Events;
    // Halts until an interrupt after the one counted in `seen` has been
    // handled; one that came in meanwhile ends the wait at once.
    static void WaitForEvent(u32 seen);

    static u8 mouse_byte[4];
    static u8 mouse_cycle;
};
