#pragma once

#include "arch/InterruptEntry.h"

using IrqHandler = void (*)(IRQContext& context);

// The handler table and the exception names.
class InterruptTable {
public:
    static void SetHandler(u8 vector, IrqHandler handler);
    static void SetIrqHandler(u8 line, IrqHandler handler);
    static bool HasIrqHandler(u8 line);
    // Runs the handler stored for the vector, if any; returns whether one ran.
    static bool RunHandler(u8 vector, IRQContext& context);
    // Panic-screen name of processor exceptions 0-15.
    static char const* ExceptionName(u32 vector);
};

// The two 8259 interrupt controllers.
class PIC {
public:
    // Initialises both controllers with the lines on vectors 0x20-0x2F, then
    // sets their masks (a set bit masks its line).
    static void Initialize(u8 master_mask, u8 slave_mask);
    static void ClearMask(u8 line);
    static void EoiMaster();
    static void EoiSlave();
};
