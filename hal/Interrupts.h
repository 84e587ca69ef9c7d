#pragma once

#include "arch/InterruptEntry.h"

using IrqHandler = void (*)(IRQContext& context);

// The handler table and the exception names.
class InterruptTable {
public:
    static void set_handler(u8 vector, IrqHandler handler);
    static void set_irq_handler(u8 line, IrqHandler handler);
    static bool has_irq_handler(u8 line);
    // Runs the handler stored for the vector, if any; returns whether one ran.
    static bool run_handler(u8 vector, IRQContext& context);
    // Panic-screen name of processor exceptions 0-15.
    static char const* exception_name(u32 vector);
};

// The two 8259 interrupt controllers.
class PIC {
public:
    // Initialises both controllers with the lines on vectors 0x20-0x2F, then
    // sets their masks (a set bit masks its line).
    static void initialize(u8 master_mask, u8 slave_mask);
    static void clear_mask(u8 line);
    static void eoi_master();
    static void eoi_slave();
};
