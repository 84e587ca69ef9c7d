#include "arch/Cpu.h"
#include "arch/InterruptEntry.h"
#include "sdk/tessary_calls.h"

extern "C" {
extern u8 interrupt_stubs[];
// 256 eight-byte gates, loaded by the entry code before the first interrupt.
alignas(8) u32 idt_entries[512];

void interrupt_dispatch(IRQContext* context) { Interrupts::dispatch(*context); }
}

namespace {
constexpr u32 StubSize = 16;
constexpr u16 KernelCode = 0x08;
constexpr u8 InterruptGate = 0x8E; // present, ring 0, 32-bit interrupt gate
// The one gate a program may use; every other vector raised by a program's
// INT is a general protection fault.
constexpr u8 ProgramGate = 0xEE; // the same, callable from ring 3
}

void Interrupts::update_idt(bool enable)
{
    Cpu::disable_interrupts();
    for (u32 vector = 0; vector < 256; ++vector) {
        u32 offset = reinterpret_cast<u32>(interrupt_stubs) + vector * StubSize;
        idt_entries[vector * 2] = (offset & 0xFFFF) | (KernelCode << 16);
        u8 gate = vector == TESSARY_SYSTEM_CALL_VECTOR ? ProgramGate : InterruptGate;
        idt_entries[vector * 2 + 1] = (offset & 0xFFFF0000) | (gate << 8);
    }
    if (enable)
        Cpu::enable_interrupts();
}
