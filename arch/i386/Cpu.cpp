#include "arch/Cpu.h"

// arch/i386/ProgramSwitch.S
extern "C" i32 program_enter(u32 entry, u32 stack_top, Cpu::KernelReturnPoint* point);
extern "C" [[noreturn]] void program_leave(Cpu::KernelReturnPoint const* point, i32 status);

static_assert(__builtin_offsetof(Cpu::KernelReturnPoint, esp) == 16);
static_assert(__builtin_offsetof(Cpu::KernelReturnPoint, eflags) == 20);
static_assert(__builtin_offsetof(Cpu::KernelReturnPoint, fpu_control) == 24);

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

i32 enter_program(u32 entry, u32 stack_top, KernelReturnPoint& point)
{
    return program_enter(entry, stack_top, &point);
}

void leave_program(KernelReturnPoint const& point, i32 status) { program_leave(&point, status); }

u64 timestamp_counter()
{
    u32 low, high;
    asm volatile("rdtsc" : "=a"(low), "=d"(high));
    return (static_cast<u64>(high) << 32) | low;
}

void initialize_fpu() { asm volatile("fninit"); }

}
