#include "arch/Cpu.h"

namespace Cpu {

void halt() { asm volatile("hlt"); }
void disable_interrupts() { asm volatile("cli" ::: "memory"); }
void enable_interrupts() { asm volatile("sti" ::: "memory"); }

bool interrupts_enabled()
{
    u32 flags;
    asm volatile("pushfl; popl %0" : "=r"(flags));
    return flags & 0x200;
}

// STI takes effect after the next instruction, so no interrupt can slip in
// between it and the HLT.
void enable_interrupts_and_halt() { asm volatile("sti; hlt" ::: "memory"); }

void halt_forever()
{
    for (;;)
        asm volatile("cli; hlt");
}

void call(u32 address)
{
    // The program may use any register; only the stack pointer and the
    // callee-saved registers the compiler relies on are kept by PUSHAD.
    asm volatile("pushal; call *%0; popal" : : "r"(address) : "memory", "cc");
}

u64 timestamp_counter()
{
    u32 low, high;
    asm volatile("rdtsc" : "=a"(low), "=d"(high));
    return (static_cast<u64>(high) << 32) | low;
}

void initialize_fpu() { asm volatile("fninit"); }

}
