#include "hal/Interrupts.h"

#include "arch/Cpu.h"
#include "arch/Port.h"
#include "hal/PanicScreen.h"
#include "hal/ProgramRunner.h"
#include "hal/SystemCall.h"
#include "hal/Time.h"

namespace {

IrqHandler g_handlers[256];

constexpr u16 MasterCommand = 0x20;
constexpr u16 MasterData = 0x21;
constexpr u16 SlaveCommand = 0xA0;
constexpr u16 SlaveData = 0xA1;
constexpr u16 DelayPort = 0x80;

void write_with_delay(u16 port, u8 value)
{
    Port::out8(port, value);
    Port::out8(DelayPort, 0x22);
}

// Vectors 16-31 have no panic-screen name: the line goes straight into text
// memory because the console itself may be what failed.
[[noreturn]] void fatal_exception_line(u32 vector)
{
    char line[] = " *** CPU Exception x00 *** ";
    line[20] = "0123456789ABCDEF"[(vector >> 4) & 0xF];
    line[21] = "0123456789ABCDEF"[vector & 0xF];
    PanicScreen::write_raw_line(line, 0x0C);
    Cpu::halt_forever();
}

}

void InterruptTable::set_handler(u8 vector, IrqHandler handler) { g_handlers[vector] = handler; }
void InterruptTable::set_irq_handler(u8 line, IrqHandler handler)
{
    set_handler(static_cast<u8>(0x20 + line), handler);
}
bool InterruptTable::has_irq_handler(u8 line) { return g_handlers[0x20 + line] != nullptr; }

bool InterruptTable::run_handler(u8 vector, IRQContext& context)
{
    if (!g_handlers[vector])
        return false;
    g_handlers[vector](context);
    return true;
}

char const* InterruptTable::exception_name(u32 vector)
{
    static char const* const Names[16] = {
        "DIVIDE_BY_ZERO",
        "SINGLE_STEP",
        "NON_MASKABLE_INTERRUPT",
        "BREAK_FLOW",
        "OVERFLOW",
        "NULL",
        "INVALID_OPCODE",
        "",
        "DOUBLE_FAULT_EXCEPTION",
        "COPROCESSOR_SEGMENT_OVERRUN",
        "INVALID_TSS",
        "SEGMENT_NOT_PRESENT",
        "STACK_EXCEPTION",
        "GENERAL_PROTECTION_FAULT",
        "PAGE_FAULT",
        "RESERVED",
    };
    return vector < 16 ? Names[vector] : "";
}

void Interrupts::dispatch(IRQContext& context)
{
    u32 vector = context.interrupt;
    // A program's fault ends the program; the kernel's own ends the system.
    if (vector < InterruptTable::ExceptionCount && context.from_program())
        ProgramRunner::end_on_fault(context);
    if (vector < 16)
        PanicScreen::panic(InterruptTable::exception_name(vector));
    if (vector < 0x20)
        fatal_exception_line(vector);
    if (vector == 0x20) {
        Time::on_timer_interrupt();
        PIC::eoi_master();
        return;
    }
    if (vector < 0x30) {
        // A hardware line: its driver's routine if it has one, and always an
        // acknowledgement, so a stray line never reaches the system calls.
        InterruptTable::run_handler(static_cast<u8>(vector), context);
        if (vector >= 0x28)
            PIC::eoi_slave();
        else
            PIC::eoi_master();
        return;
    }
    if (!InterruptTable::run_handler(static_cast<u8>(vector), context))
        SystemCall::handle(context);
}

void PIC::initialize(u8 master_mask, u8 slave_mask)
{
    // ICW1 unmasks every line and forgets the vector base until ICW2 sets it
    // again: a line raised in between (a level-triggered PCI line stays
    // raised through ICW1) would reach the processor as vector 0-7, an
    // exception. Interrupts wait until the sequence is done.
    InterruptGuard masked;
    // ICW1: edge triggered, cascaded, ICW4 follows. ICW2: the vector base.
    // ICW3: the slave hangs on the master's line 2, and is told so. ICW4:
    // 8086 mode. Old controllers need a moment between writes; a write to
    // the unused port 0x80 gives it.
    write_with_delay(MasterCommand, 0x11);
    write_with_delay(SlaveCommand, 0x11);
    write_with_delay(MasterData, 0x20);
    write_with_delay(SlaveData, 0x28);
    write_with_delay(MasterData, 0x04);
    write_with_delay(SlaveData, 0x02);
    write_with_delay(MasterData, 0x01);
    write_with_delay(SlaveData, 0x01);
    set_masks(master_mask, slave_mask);
}

void PIC::set_masks(u8 master_mask, u8 slave_mask)
{
    write_with_delay(MasterData, master_mask);
    write_with_delay(SlaveData, slave_mask);
}

void PIC::clear_mask(u8 line)
{
    u16 port = line < 8 ? MasterData : SlaveData;
    u8 bit = line < 8 ? line : static_cast<u8>(line - 8);
    Port::out8(port, static_cast<u8>(Port::in8(port) & ~(1u << (bit & 31))));
}

void PIC::eoi_master() { Port::out8(MasterCommand, 0x20); }

void PIC::eoi_slave()
{
    Port::out8(MasterCommand, 0x20);
    Port::out8(SlaveCommand, 0x20);
}
