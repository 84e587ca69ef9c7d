#pragma once

#include "arch/InterruptEntry.h"

using IrqHandler = void (*)(IRQContext& context);

// The handler table and the exception names.
namespace InterruptTable {
void set_handler(u8 vector, IrqHandler handler);
void set_irq_handler(u8 line, IrqHandler handler);
bool has_irq_handler(u8 line);
// Runs the handler stored for the vector, if any; returns whether one ran.
bool run_handler(u8 vector, IRQContext& context);
// Panic-screen name of processor exceptions 0-15.
char const* exception_name(u32 vector);
constexpr u32 PageFault = 14;
// Vectors below this are the processor's exceptions.
constexpr u32 ExceptionCount = 0x20;
}

// The two 8259 interrupt controllers.
namespace PIC {
// Initialises both controllers with the lines on vectors 0x20-0x2F, then
// sets their masks (a set bit masks its line).
void initialize(u8 master_mask, u8 slave_mask);
// Sets both masks alone (OCW1): unlike an initialisation, it keeps every
// request the controllers hold.
void set_masks(u8 master_mask, u8 slave_mask);
void clear_mask(u8 line);
void eoi_master();
void eoi_slave();
}
