#pragma once

#include "base/Types.h"

// The processor's side of interrupts: the frame the entry stubs build
// (arch/i386/InterruptStubs.S), the descriptor table that leads to them, and
// the one function above the seam every stub calls.

// The register frame every interrupt entry stub builds, in ascending address
// order. Handlers receive it by reference and may change the general
// registers, which the stub then restores into the interrupted code.
struct IRQContext {
    u32 fx_save_area; // address of the 512-byte FXSAVE image below this record
    u32 edi, esi, ebp, esp, ebx, edx, ecx, eax;
    u32 gs, fs, es, ds;
    u32 interrupt;
    u32 error_code;
    u32 eip, cs, eflags;
    // Pushed by the processor only when the interrupt came from ring 3.
    u32 program_esp, program_ss;

    bool from_program() const { return (cs & 3) == 3; }
};

namespace Interrupts {
// Fills the descriptor table with the 256 gates; enables interrupts after it
// when asked (the boot does). Defined in arch/i386/Idt.cpp; the simulated
// machine has no table and only switches interrupts on.
void update_idt(bool enable);
// Where every entry stub lands: exceptions, hardware lines, system calls.
// Defined above the seam, in hal/Interrupts.cpp.
void dispatch(IRQContext& context);
}
