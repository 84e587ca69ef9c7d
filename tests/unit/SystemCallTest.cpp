#include "hal/SystemCall.h"
#include "tests/sim/TestMachine.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

constexpr u32 Data = 0x20000;

// Enters the dispatcher the way the entry stub does for INT 0x80.
IRQContext call(u32 eax, u32 esi = 0, u32 edi = 0, u32 ecx = 0)
{
    IRQContext context {};
    context.interrupt = 0x80;
    context.eax = eax;
    context.esi = esi;
    context.edi = edi;
    context.ecx = ecx;
    Cpu::disable_interrupts(); // as the interrupt gate leaves it
    Interrupts::dispatch(context);
    return context;
}

void plant(u32 address, std::string const& bytes) { std::memcpy(Sim::memory(address), bytes.data(), bytes.size()); }

std::string stored(u32 address, size_t length)
{
    return std::string(reinterpret_cast<char*>(Sim::memory(address)), length);
}

}

TEST(SystemCall, PrintsBytesUpToTheTerminatingZero)
{
    TestMachine machine;
    plant(Data, std::string("Hi\0X", 4));
    auto context = call(1, Data);
    EXPECT_EQ(machine.line(0), "Hi");
    EXPECT_EQ(Console::cursor_left(), 2);
    EXPECT_EQ(Console::cursor_top(), 0);
    EXPECT_EQ(context.eax, 1u);

    // Control bytes are cells like any other: no line break.
    plant(Data, std::string("A\nB\0", 4));
    call(1, Data);
    EXPECT_EQ(machine.character(3, 0), '\n');
    EXPECT_EQ(machine.character(4, 0), 'B');
    EXPECT_EQ(Console::cursor_top(), 0);

    plant(Data, std::string("\0", 1));
    call(1, Data);
    EXPECT_EQ(Console::cursor_left(), 5);
}

TEST(SystemCall, ReadsALineWithItsZeroAndLength)
{
    TestMachine machine;
    std::memset(Sim::memory(Data), 0xEE, 16);
    machine.type("abc\n");
    auto context = call(2, 0, Data, 0);
    EXPECT_EQ(stored(Data, 5), std::string("abc\0\xEE", 5));
    EXPECT_EQ(context.eax, 3u);
    EXPECT_EQ(machine.line(0), "abc");
    EXPECT_EQ(Console::cursor_top(), 1);
    EXPECT_EQ(Console::cursor_left(), 0);
    // The gate's masked state is back when the handler leaves.
    EXPECT_FALSE(Cpu::interrupts_enabled());
}

TEST(SystemCall, CutsTheLineToTheBufferSize)
{
    TestMachine machine;
    std::memset(Sim::memory(Data), 0xEE, 16);
    machine.type("hello\n");
    auto context = call(2, 0, Data, 3);
    EXPECT_EQ(stored(Data, 4), std::string("he\0\xEE", 4));
    EXPECT_EQ(context.eax, 2u);

    machine.type("\n");
    context = call(2, 0, Data + 8, 1);
    EXPECT_EQ(stored(Data + 8, 2), std::string("\0\xEE", 2));
    EXPECT_EQ(context.eax, 0u);
}

TEST(SystemCall, OtherFunctionsChangeNothing)
{
    TestMachine machine;
    plant(Data, std::string("Hi\0", 3));
    machine.type("abc\n");
    size_t keys = machine.pending();
    auto context = call(3, Data, Data, 16);
    EXPECT_EQ(context.eax, 3u);
    EXPECT_EQ(context.esi, Data);
    EXPECT_EQ(stored(Data, 3), std::string("Hi\0", 3));
    EXPECT_EQ(machine.line(0), "");
    EXPECT_EQ(machine.pending(), keys); // no key was read
}
