#pragma once

#include "arch/Cpu.h"
#include "hal/Interrupts.h"

// The interrupt 0x80 interface of loaded programs; every vector without a
// handler of its own lands here too. The numbers are sdk/tessary_calls.h's.
// A program's pointers are checked against its own pages (a bad one gives
// BadArgument in EAX); the kernel's own calls 1 and 2 reach any address.
//
//   EAX = 1  print the 0-terminated byte string at ESI, one cell per byte
//            (control bytes show as glyphs; nothing moves to a new line)
//   EAX = 2  read a line from the keyboard into the buffer at EDI; ECX is
//            the buffer's size (0: unlimited), the line is cut to ECX - 1
//            characters and ended with a 0 byte; EAX returns its length
//   16 up    the running program's calls (hal/ProgramRunner.h), on vector
//            0x80 only
//   other    nothing
namespace SystemCall {
void handle(IRQContext& context);
}

// Interrupt gates enter with interrupts masked, but a system call that waits
// for the keyboard needs the keyboard's interrupt: one of these lets
// interrupts in for as long as it lives and masks them again afterwards, so
// the handler leaves the way the gate entered.
class InterruptsEnabledScope {
public:
    InterruptsEnabledScope()
        : m_were_enabled(Cpu::interrupts_enabled())
    {
    }
    ~InterruptsEnabledScope()
    {
        if (!m_were_enabled)
            Cpu::disable_interrupts();
    }
    InterruptsEnabledScope(InterruptsEnabledScope const&) = delete;
    InterruptsEnabledScope& operator=(InterruptsEnabledScope const&) = delete;

    void enable() { Cpu::enable_interrupts(); }

private:
    bool m_were_enabled;
};
