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
// A near CALL to a flat 32-bit address; the code returns with a near RET.
void call(u32 address);
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
