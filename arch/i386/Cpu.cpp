#include "arch/Cpu.h"

// arch/i386/ProgramSwitch.S
extern "C" i32 program_enter(u32 entry, u32 stack_pointer, Cpu::KernelReturnPoint* point);
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

i32 enter_program(u32 entry, u32 stack_pointer, KernelReturnPoint& point)
{
    return program_enter(entry, stack_pointer, &point);
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

namespace {

// The processor's task state: only the ring-0 stack for interrupts that
// arrive in ring 3 is used. The I/O map's offset lies past the end of the
// segment, so a program may reach no port at all.
struct TaskState {
    u32 link;
    u32 esp0, ss0;
    u32 unused[22];
    u16 trap;
    u16 io_map_offset;
};
static_assert(sizeof(TaskState) == 104);

constexpr u16 TaskStateSelector = 0x28;
constexpr u16 KernelData = 0x10;

}

extern "C" {
extern u8 gdt_entries[];
// program_enter (arch/i386/ProgramSwitch.S) sets esp0 before it enters a
// program.
TaskState task_state;

// The boot's step (arch/i386/Entry.S): the task state's descriptor, then
// the task register.
void initialize_task_state()
{
    task_state.ss0 = KernelData;
    task_state.io_map_offset = sizeof(TaskState);
    u32 base = reinterpret_cast<u32>(&task_state);
    u32 limit = sizeof(TaskState) - 1;
    u8* descriptor = gdt_entries + TaskStateSelector;
    descriptor[0] = static_cast<u8>(limit);
    descriptor[1] = static_cast<u8>(limit >> 8);
    descriptor[2] = static_cast<u8>(base);
    descriptor[3] = static_cast<u8>(base >> 8);
    descriptor[4] = static_cast<u8>(base >> 16);
    descriptor[5] = 0x89; // present, ring 0, available 32-bit task state
    descriptor[6] = 0;
    descriptor[7] = static_cast<u8>(base >> 24);
    asm volatile("ltr %w0" ::"r"(TaskStateSelector));
}
}
