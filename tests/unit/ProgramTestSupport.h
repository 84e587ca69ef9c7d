#pragma once

// Helpers for the tests of programs and their calls: a tiny MZ program for
// the simulated processor to "enter", the INT 0x80 a program makes, a fault
// it raises, and its memory read and written through its page tables.

#include "hal/Interrupts.h"
#include "hal/ProgramRunner.h"

#include <gtest/gtest.h>

#include <string>

constexpr u32 Base = 0x00100000;
// The end of the one page a tiny program's image takes.
constexpr u32 ImageEnd = Base + 0x1000;
constexpr u16 ProgramCode = 0x18 | 3;

// A program the simulated processor enters: a two-paragraph header with the
// extra paragraphs asked for, then a one-byte module (RET) with its entry 0.
inline ByteBuffer tiny_program(u16 extra_paragraphs = 0)
{
    ByteBuffer file;
    file.resize(32);
    file[0] = 'M';
    file[1] = 'Z';
    file[0x08] = 2;
    file[0x0A] = static_cast<u8>(extra_paragraphs);
    file[0x0B] = static_cast<u8>(extra_paragraphs >> 8);
    file.append(0xC3);
    return file;
}

// INT 0x80 from the running program, in ring 3: the gate masks interrupts,
// IRET restores them.
inline i32 system_call(u32 eax, u32 ebx = 0, u32 ecx = 0, u32 edx = 0, u32 vector = 0x80)
{
    IRQContext context {};
    context.cs = ProgramCode;
    context.interrupt = vector;
    context.eax = eax;
    context.ebx = ebx;
    context.ecx = ecx;
    context.edx = edx;
    bool were_enabled = Cpu::interrupts_enabled();
    Cpu::disable_interrupts();
    Interrupts::dispatch(context);
    if (were_enabled)
        Cpu::enable_interrupts();
    return static_cast<i32>(context.eax);
}

// An exception raised while the program runs in ring 3, as the entry stub
// hands it over.
inline void fault(u32 vector, u32 eip)
{
    IRQContext context {};
    context.cs = ProgramCode;
    context.interrupt = vector;
    context.eip = eip;
    Cpu::disable_interrupts();
    Interrupts::dispatch(context);
}

// The running program's bytes, through its page tables.
inline void plant(u32 address, std::string const& bytes)
{
    ASSERT_FALSE(ProgramRunner::running_memory()
                     ->copy_in(address, reinterpret_cast<u8 const*>(bytes.data()), static_cast<u32>(bytes.size()))
                     .is_error());
}
inline std::string stored(u32 address, size_t length)
{
    std::string bytes(length, '\0');
    EXPECT_FALSE(ProgramRunner::running_memory()
                     ->copy_out(address, reinterpret_cast<u8*>(bytes.data()), static_cast<u32>(length))
                     .is_error());
    return bytes;
}
