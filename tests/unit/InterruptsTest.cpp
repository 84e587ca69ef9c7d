#include "hal/Interrupts.h"
#include "arch/Cpu.h"
#include "hal/Heap.h"
#include "kernel/Bootstrap.h"
#include "tests/sim/TestMachine.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Pic, RemapsBothControllersAndSetsTheMasksGiven)
{
    Sim::reset();
    PIC::initialize(0xF9, 0x00);
    std::vector<std::pair<u16, u32>> sequence;
    for (auto const& a : Sim::accesses()) {
        if (a.write && a.port != 0x80)
            sequence.push_back({ a.port, a.value });
    }
    std::vector<std::pair<u16, u32>> expected = { { 0x20, 0x11 }, { 0xA0, 0x11 }, { 0x21, 0x20 }, { 0xA1, 0x28 },
        { 0x21, 0x04 }, { 0xA1, 0x02 }, { 0x21, 0x01 }, { 0xA1, 0x01 }, { 0x21, 0xF9 }, { 0xA1, 0x00 } };
    EXPECT_EQ(sequence, expected);
    // Every write is followed by the I/O delay write.
    EXPECT_EQ(Sim::writes_to(0x80).size(), expected.size());
}

namespace {
// Whether the processor took interrupts at each write to the controllers.
struct InterruptFlagAtWrites final : Sim::PortDevice {
    u32 read(u16, int) override { return 0; }
    void write(u16, u32, int) override { flags.push_back(Sim::interrupts_enabled()); }
    std::vector<bool> flags;
};
}

TEST(Pic, InitialisesWithInterruptsOffAndGivesTheFlagBack)
{
    // Between ICW1 and ICW2 a raised line would arrive as an exception.
    Sim::reset();
    InterruptFlagAtWrites controllers;
    Sim::attach(0x20, 0x21, &controllers);
    Sim::attach(0xA0, 0xA1, &controllers);
    Cpu::enable_interrupts();
    PIC::initialize(0xF9, 0x00);
    EXPECT_EQ(controllers.flags, std::vector<bool>(10, false));
    EXPECT_TRUE(Sim::interrupts_enabled());

    Cpu::disable_interrupts();
    PIC::initialize(0xF9, 0x00);
    EXPECT_FALSE(Sim::interrupts_enabled());
    Sim::reset();
}

namespace {
int g_calls;
void count_call(IRQContext&) { ++g_calls; }
}

TEST(Dispatch, HardwareLinesAreAcknowledgedAndNeverTakenAsSystemCalls)
{
    Sim::reset();
    g_calls = 0;
    InterruptTable::set_handler(0x80, count_call);
    Sim::raise_irq(5); // no handler on line 5
    EXPECT_EQ(g_calls, 0);
    auto master = Sim::writes_to(0x20);
    auto slave = Sim::writes_to(0xA0);
    ASSERT_EQ(master.size(), 1u);
    EXPECT_EQ(master[0].value, 0x20u);
    EXPECT_TRUE(slave.empty());

    Sim::clear_accesses();
    InterruptTable::set_irq_handler(12, count_call);
    Sim::raise_irq(12);
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(Sim::writes_to(0x20).size(), 1u);
    EXPECT_EQ(Sim::writes_to(0xA0).size(), 1u);

    Sim::raise_vector(0x80);
    EXPECT_EQ(g_calls, 2);
    InterruptTable::set_handler(0x80, nullptr);
    InterruptTable::set_irq_handler(12, nullptr);
}

TEST(Dispatch, ExceptionNamesFollowTheProcessorNumbering)
{
    EXPECT_STREQ(InterruptTable::exception_name(0), "DIVIDE_BY_ZERO");
    EXPECT_STREQ(InterruptTable::exception_name(5), "NULL");
    EXPECT_STREQ(InterruptTable::exception_name(7), "");
    EXPECT_STREQ(InterruptTable::exception_name(9), "COPROCESSOR_SEGMENT_OVERRUN");
    EXPECT_STREQ(InterruptTable::exception_name(12), "STACK_EXCEPTION");
    EXPECT_STREQ(InterruptTable::exception_name(13), "GENERAL_PROTECTION_FAULT");
    EXPECT_STREQ(InterruptTable::exception_name(14), "PAGE_FAULT");
    EXPECT_STREQ(InterruptTable::exception_name(15), "RESERVED");
}

namespace {
// What the code under test sent to the serial log.
std::string serial_log()
{
    std::string log;
    for (auto const& write : Sim::writes_to(0x3F8))
        log += static_cast<char>(write.value);
    return log;
}
}

// The fault may have come from inside the allocator: the way to the screen
// must not lead back into it.
TEST(Dispatch, ExceptionsEndOnThePanicScreenWithoutTheHeap)
{
    TestMachine machine;
    Console::set_cursor_top(7);
    EXPECT_THROW(
        {
            Sim::NoAllocations heapUnusable;
            Sim::raise_vector(0);
        },
        Sim::Stopped);
    // Rows 0-23 blue, row 24 blank on black.
    for (int y = 0; y < 24; ++y)
        EXPECT_EQ(machine.attribute(79, y), 0x1F) << y;
    EXPECT_EQ(machine.attribute(0, 24), 0x00);
    EXPECT_EQ(machine.row(24), std::string(80, ' '));
    EXPECT_EQ(machine.row(0), "A problem has been detected and Tessary has been shut down to prevent damage to ");
    EXPECT_EQ(machine.line(1), "your computer.");
    EXPECT_EQ(machine.line(2), "");
    EXPECT_EQ(machine.line(3), "DIVIDE_BY_ZERO");
    EXPECT_EQ(machine.line(4), "");
    EXPECT_EQ(machine.line(5), "If this is the first time you've seen this Stop error screen,");
    EXPECT_EQ(machine.line(6), "restart you computer. If this screen appears again follow");
    EXPECT_EQ(machine.line(14), "Disable BIOS memory options such as caching or shadowing.");
    EXPECT_EQ(machine.line(15), "");
    std::string log = serial_log();
    EXPECT_EQ(log.substr(log.size() - 22), "PANIC: DIVIDE_BY_ZERO\n");
}

TEST(Dispatch, LateExceptionsWriteTheFatalLineWithoutTheHeap)
{
    TestMachine machine;
    EXPECT_THROW(
        {
            Sim::NoAllocations heapUnusable;
            Sim::raise_vector(0x11);
        },
        Sim::Stopped);
    EXPECT_EQ(machine.line(0), " *** CPU Exception x11 ***");
    EXPECT_EQ(machine.attribute(1, 0), 0x0C);
    std::string log = serial_log();
    EXPECT_EQ(log.substr(log.size() - 28), " *** CPU Exception x11 *** \n");
}

TEST(FreeListHeap, AllocatesZeroedBlocksAndReusesFreedMemory)
{
    std::vector<u8> arena(64 * 1024, 0xAA);
    FreeListHeap heap;
    auto start = reinterpret_cast<uintptr_t>(arena.data());
    heap.initialize(start, start + arena.size());
    size_t initially = heap.free_bytes();

    auto* a = static_cast<u8*>(heap.allocate(100));
    auto* b = static_cast<u8*>(heap.allocate(200));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_GE(b, a + 100);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(a[i], 0);
    a[0] = 1;
    heap.free(a);
    auto* c = static_cast<u8*>(heap.allocate(64));
    EXPECT_EQ(c, a); // first fit takes the freed block
    EXPECT_EQ(c[0], 0);
    heap.free(b);
    heap.free(c);
    // Neighbouring free blocks merge back into one.
    EXPECT_EQ(heap.free_bytes(), initially);

    // Page-aligned blocks, as the processor maps them: the gap below each
    // stays free for small blocks, and all of it merges back.
    auto* small = heap.allocate(40);
    auto* page = static_cast<u8*>(heap.allocate(8192, 4096));
    auto* next = static_cast<u8*>(heap.allocate(4096, 4096));
    ASSERT_NE(page, nullptr);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(page) % 4096, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(next) % 4096, 0u);
    EXPECT_GE(next, page + 8192);
    EXPECT_TRUE(std::all_of(page, page + 8192, [](u8 b) { return b == 0; }));
    auto* filler = static_cast<u8*>(heap.allocate(64));
    EXPECT_LT(filler, page); // first fit finds the gap below the page
    EXPECT_EQ(heap.allocate(60 * 1024, 4096), nullptr);
    for (void* block : { small, static_cast<void*>(page), static_cast<void*>(next), static_cast<void*>(filler) })
        heap.free(block);
    EXPECT_EQ(heap.free_bytes(), initially);
    EXPECT_EQ(heap.used_bytes(), 0u);
    EXPECT_NE(heap.allocate(60 * 1024), nullptr);
}

// The bytes in use count what is allocated, not where: a request that takes
// a hole too snug to split counts what it asked for, as it does anywhere
// else, so a session's figure comes back whatever the free list looks like.
TEST(FreeListHeap, BytesInUseDependOnlyOnTheLiveAllocations)
{
    std::vector<u8> arena(64 * 1024);
    FreeListHeap heap;
    auto start = reinterpret_cast<uintptr_t>(arena.data());
    heap.initialize(start, start + arena.size());
    heap.free(heap.allocate(90));
    EXPECT_EQ(heap.used_bytes(), 0u);
    void* alone = heap.allocate(90);
    size_t taken = heap.used_bytes();
    EXPECT_GE(taken, 90u);
    heap.free(alone);

    void* hole = heap.allocate(100);
    void* wall = heap.allocate(100);
    heap.free(hole);
    size_t before = heap.used_bytes();
    void* snug = heap.allocate(90);
    ASSERT_EQ(snug, hole); // first fit, with too little left over to split
    EXPECT_EQ(heap.used_bytes() - before, taken);
    heap.free(snug);
    heap.free(wall);
    EXPECT_EQ(heap.used_bytes(), 0u);
}

TEST(FreeListHeap, ReportsExhaustionAndSurvivesLongSessions)
{
    std::vector<u8> arena(16 * 1024);
    FreeListHeap heap;
    auto start = reinterpret_cast<uintptr_t>(arena.data());
    heap.initialize(start, start + arena.size());
    EXPECT_EQ(heap.allocate(32 * 1024), nullptr);
    EXPECT_EQ(heap.allocate(static_cast<size_t>(-1)), nullptr);
    for (int round = 0; round < 10000; ++round) {
        void* block = heap.allocate(1000 + round % 3000);
        ASSERT_NE(block, nullptr) << round;
        heap.free(block);
    }
}

TEST(Heap, ExhaustionPrintsTheSizeAndStops)
{
    TestMachine machine;
    install_event_handlers();
    EXPECT_THROW(Heap::report_exhaustion(0x12345), Sim::Stopped);
    EXPECT_EQ(machine.line(0), "Too large memory block allocated!");
    EXPECT_EQ(machine.line(1), "0x00012345");
}
