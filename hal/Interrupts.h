#pragma once

#include "base/Types.h"

// The register frame every interrupt entry stub builds, in ascending address
// order. Handlers receive it by reference and may change the general
// registers, which the stub then restores into the interrupted code.
struct IRQContext {
    u32 FxSaveArea; // address of the 512-byte FXSAVE image below this record
    u32 EDI, ESI, EBP, ESP, EBX, EDX, ECX, EAX;
    u32 Interrupt;
    u32 ErrorCode;
    u32 EIP, CS, EFLAGS;
};

using IrqHandler = void (*)(IRQContext& context);

// The handler table and the exception names.
class INTs {
public:
    static void SetIntHandler(u8 vector, IrqHandler handler);
    static void SetIrqHandler(u8 line, IrqHandler handler);
    static bool HasIrqHandler(u8 line);
    // Runs the handler stored for the vector, if any; returns whether one ran.
    static bool IRQ(u8 vector, IRQContext& context);
    // Panic-screen name of processor exceptions 0-15.
    static char const* ExceptionName(u32 vector);
};

namespace Interrupts {
// Where every entry stub lands: exceptions, hardware lines, system calls.
void Dispatch(IRQContext& context);
// Fills the descriptor table with the 256 gates; enables interrupts after it
// when asked (the boot does).
void UpdateIDT(bool enable);
}

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
