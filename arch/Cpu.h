#pragma once

#include "base/Types.h"

// Processor instructions the drivers need, behind the same seam as the ports.
namespace Cpu {
// HLT once: returns after the next interrupt.
void halt();
void disable_interrupts();
void enable_interrupts();
bool interrupts_enabled();
// STI then HLT as one step, so an interrupt that arrives between a caller's
// last check of its flag and the halt still wakes it.
void enable_interrupts_and_halt();
// CLI and HLT for good.
[[noreturn]] void halt_forever();
// What enter_program keeps of the kernel while a program runs, so that
// leave_program can come back from any depth of the program's own stack.
// The field order is the assembly's (arch/i386/ProgramSwitch.S).
struct KernelReturnPoint {
    u32 ebx, esi, edi, ebp;
    u32 esp; // points at enter_program's return address
    u32 eflags;
    u32 fpu_control; // the x87 control word, which the compiler relies on as well
};
// Saves the callee-saved registers, EFLAGS and the stack pointer in `point`
// and enters the flat address `entry` in ring 3 with ESP at `stack_pointer`
// and interrupts on. Returns the status given to leave_program, which ends
// every program (its return lands on code that makes the exit call). One
// program at a time.
i32 enter_program(u32 entry, u32 stack_pointer, KernelReturnPoint& point);
// Restores what enter_program saved in `point` and makes that call return
// `status`; whatever the program's stack holds is abandoned.
[[noreturn]] void leave_program(KernelReturnPoint const& point, i32 status);
u64 timestamp_counter();
// FNINIT: a clean floating-point unit.
void initialize_fpu();
}

// Masks interrupts for the lifetime of the object and restores the previous
// state afterwards: used around data shared with interrupt routines.
class InterruptGuard {
public:
    InterruptGuard()
        : m_were_enabled(Cpu::interrupts_enabled())
    {
        Cpu::disable_interrupts();
    }
    ~InterruptGuard()
    {
        if (m_were_enabled)
            Cpu::enable_interrupts();
    }
    InterruptGuard(InterruptGuard const&) = delete;
    InterruptGuard& operator=(InterruptGuard const&) = delete;

private:
    bool m_were_enabled;
};
