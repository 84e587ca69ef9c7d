#include "hal/ProgramMemory.h"
#include "arch/PhysicalMemory.h"
#include "tests/sim/Sim.h"

#include <gtest/gtest.h>

namespace {

using Access = ProgramMemory::Access;
constexpr u32 Low = Paging::LowProgramBase;
constexpr u32 High = Paging::HighProgramBase;

u32 directory_entry(u32 address) { return reinterpret_cast<u32*>(Sim::memory(Paging::directory()))[address >> 22]; }

u32 page_entry(u32 address)
{
    u32 table = directory_entry(address) & Paging::FrameMask;
    return reinterpret_cast<u32*>(Sim::memory(table))[(address >> 12) & 1023];
}

std::string bytes_at(ProgramMemory const& memory, u32 address, u32 length)
{
    std::string bytes(length, '\0');
    if (memory.copy_out(address, reinterpret_cast<u8*>(bytes.data()), length).is_error())
        return "refused";
    return bytes;
}

class ProgramMemoryTest : public ::testing::Test {
protected:
    Sim::FreshMachine m_machine;
    ProgramMemory m_memory;
};

}

TEST_F(ProgramMemoryTest, MapsPagesForRing3OnlyInsideTheProgramRanges)
{
    // The low range lies in the kernel's own first tables: entries there
    // change, the directory does not.
    u32 low_directory = directory_entry(Low);
    std::string content = "module";
    ASSERT_FALSE(
        m_memory.map(Low + 0x10, 0x2000, Access::Write, { reinterpret_cast<u8 const*>(content.data()), content.size() })
            .is_error());
    EXPECT_EQ(directory_entry(Low), low_directory);
    for (u32 page : { Low, Low + 0x1000, Low + 0x2000 })
        EXPECT_EQ(page_entry(page) & 0xFFF, Paging::Present | Paging::Writable | Paging::User) << std::hex << page;
    EXPECT_EQ(page_entry(Low + 0x3000), Paging::kernel_page(Low + 0x3000));
    EXPECT_EQ(bytes_at(m_memory, Low + 0x0E, 10), std::string("\0\0module\0\0", 10));

    // Outside the ranges, over pages already there, past 4 GiB: refused.
    for (u32 address : { 0u, 0xB8000u, Low - 0x1000, 0x00500000u, 0x3FFFF000u, Paging::HighProgramEnd, 0xFFFFF000u })
        EXPECT_TRUE(m_memory.map(address, 0x1000, Access::Write).is_error()) << std::hex << address;
    EXPECT_TRUE(m_memory.map(Low + 0x2000, 0x1000, Access::Write).is_error());
    EXPECT_TRUE(m_memory.map(Paging::LowProgramEnd - 0x1000, 0x2000, Access::Write).is_error());

    // In the high range a table replaces the kernel's 4 MiB page, the same
    // one to one around the program's pages; read-only pages refuse writes.
    EXPECT_EQ(directory_entry(High), Paging::kernel_large_page(High));
    ASSERT_FALSE(m_memory.map(High + 0x5000, 0x3000, Access::Read).is_error());
    EXPECT_EQ(directory_entry(High) & 0xFFF, Paging::Present | Paging::Writable | Paging::User);
    EXPECT_EQ(page_entry(High + 0x4000), Paging::kernel_page(High + 0x4000));
    EXPECT_EQ(page_entry(High + 0x5000) & 0xFFF, Paging::Present | Paging::User);
    EXPECT_TRUE(m_memory.contains(High + 0x5000, 0x3000, Access::Read));
    EXPECT_FALSE(m_memory.contains(High + 0x5000, 0x3001, Access::Read));
    EXPECT_FALSE(m_memory.contains(High + 0x4FFF, 2, Access::Read));
    EXPECT_FALSE(m_memory.contains(High + 0x5000, 1, Access::Write));
    u8 byte = 1;
    EXPECT_TRUE(m_memory.copy_in(High + 0x5000, &byte, 1).is_error());
    // Lengths that wrap, kernel pages in the low tables, nothing: refused;
    // an empty range is fine anywhere.
    EXPECT_FALSE(m_memory.contains(Low, 0xFFFFFFFF, Access::Read));
    EXPECT_FALSE(m_memory.contains(0x000B8000, 1, Access::Read));
    EXPECT_TRUE(m_memory.contains(0, 0, Access::Write));

    // Strings end at their 0 on the program's pages, or are refused.
    content = std::string("path\0", 5);
    ASSERT_FALSE(m_memory.copy_in(Low + 0x1FFE, reinterpret_cast<u8 const*>(content.data()), 5).is_error());
    EXPECT_EQ(m_memory.string_at(Low + 0x1FFE, 255).value(), "path");
    EXPECT_TRUE(m_memory.string_at(Low + 0x1FFE, 3).is_error());
    content = "xyz";
    ASSERT_FALSE(m_memory.copy_in(Low + 0x2FFD, reinterpret_cast<u8 const*>(content.data()), 3).is_error());
    EXPECT_TRUE(m_memory.string_at(Low + 0x2FFD, 255).is_error());

    // Everything goes back: frames, tables, entries.
    EXPECT_GT(Sim::page_frame_bytes(), 0u);
    m_memory.release();
    EXPECT_EQ(Sim::page_frame_bytes(), 0u);
    EXPECT_EQ(directory_entry(High), Paging::kernel_large_page(High));
    EXPECT_EQ(page_entry(Low), Paging::kernel_page(Low));
    EXPECT_EQ(directory_entry(Low), low_directory);
    EXPECT_FALSE(m_memory.contains(Low, 1, Access::Read));
}

TEST_F(ProgramMemoryTest, TheHeapGrowsInStepsAndGivesThemBack)
{
    constexpr u32 Step = 64 * 1024;
    // A program's stack is mapped before its heap starts, above the heap's
    // limit; no move of the break may take it.
    constexpr u32 Stack = ProgramMemory::StackTop - ProgramMemory::StackSize;
    ASSERT_FALSE(m_memory.map(Stack, ProgramMemory::StackSize, Access::Write).is_error());
    m_memory.start_heap(High);
    ASSERT_FALSE(m_memory.set_heap_break(High + 1).is_error());
    EXPECT_EQ(m_memory.heap_break(), High + 1);
    EXPECT_TRUE(m_memory.contains(High, Step, Access::Write));
    EXPECT_FALSE(m_memory.contains(High + Step, 1, Access::Read));
    u64 one_step = Sim::page_frame_bytes();

    ASSERT_FALSE(m_memory.set_heap_break(High + 3 * Step + 5).is_error());
    EXPECT_TRUE(m_memory.contains(High, 3 * Step + 5, Access::Write));
    u8 mark = 0x5A;
    ASSERT_FALSE(m_memory.copy_in(High + 7, &mark, 1).is_error());
    // Shrinking gives back every step above the break, keeps the one it
    // ends in and what it holds.
    ASSERT_FALSE(m_memory.set_heap_break(High + 10).is_error());
    EXPECT_EQ(Sim::page_frame_bytes(), one_step);
    EXPECT_EQ(bytes_at(m_memory, High + 7, 1), "\x5A");
    EXPECT_FALSE(m_memory.contains(High + Step, 1, Access::Read));

    // More than there is: a failure that changes nothing.
    Sim::set_page_frame_limit(one_step + Step);
    EXPECT_TRUE(m_memory.set_heap_break(High + 10 * Step).is_error());
    EXPECT_EQ(m_memory.heap_break(), High + 10);
    EXPECT_EQ(Sim::page_frame_bytes(), one_step);
    EXPECT_FALSE(m_memory.contains(High + Step, 1, Access::Read));
    ASSERT_FALSE(m_memory.set_heap_break(High + 2 * Step).is_error());

    // Back to nothing at the start.
    ASSERT_FALSE(m_memory.set_heap_break(High).is_error());
    EXPECT_FALSE(m_memory.contains(High, 1, Access::Read));
    EXPECT_TRUE(m_memory.contains(Stack, ProgramMemory::StackSize, Access::Write));
    m_memory.release();
    EXPECT_EQ(Sim::page_frame_bytes(), 0u);
}
