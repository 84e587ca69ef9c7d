#include "hal/MzExecutable.h"
#include "hal/ProgramArea.h"
#include "hal/ProgramMemory.h"
#include "tests/unit/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string load_error_of(ByteBuffer const& file) { return error_of(MzExecutable::load(file)); }

struct Layout {
    u16 header_paragraphs = 2;
    u16 cs = 0;
    u16 ip = 0;
    u16 relocation_offset = 0x1C;
    std::vector<std::pair<u16, u16>> relocations;
    std::string module = "\xC3 program";
};

void put16(ByteBuffer& bytes, u32 offset, u16 value)
{
    bytes[offset] = static_cast<u8>(value);
    bytes[offset + 1] = static_cast<u8>(value >> 8);
}

ByteBuffer make_exe(Layout const& layout)
{
    // The header holds its relocation table: it grows to the whole
    // paragraphs the table needs when the layout asks for fewer.
    u32 table_end = layout.relocation_offset + 4u * static_cast<u32>(layout.relocations.size());
    u16 paragraphs = std::max(layout.header_paragraphs, static_cast<u16>((table_end + 15) / 16));
    ByteBuffer file;
    file.resize(paragraphs * 16u);
    file[0] = 'M';
    file[1] = 'Z';
    put16(file, 0x06, static_cast<u16>(layout.relocations.size()));
    put16(file, 0x08, paragraphs);
    put16(file, 0x14, layout.ip);
    put16(file, 0x16, layout.cs);
    put16(file, 0x18, layout.relocation_offset);
    for (size_t i = 0; i < layout.relocations.size(); ++i) {
        put16(file, static_cast<u32>(layout.relocation_offset + i * 4), layout.relocations[i].first);
        put16(file, static_cast<u32>(layout.relocation_offset + i * 4 + 2), layout.relocations[i].second);
    }
    for (char c : layout.module)
        file.append(static_cast<u8>(c));
    return file;
}

}

TEST(MzExe, CopiesTheLoadModuleAndDerivesTheEntry)
{
    Layout layout;
    layout.header_paragraphs = 4;
    layout.module = std::string(40, '\x90') + "\xC3";
    layout.cs = 2;
    layout.ip = 8;
    ByteBuffer file = make_exe(layout);
    auto exe = MzExecutable::load(file);
    ASSERT_FALSE(exe.is_error());
    EXPECT_TRUE(exe.value().relocations().is_empty());
    ASSERT_EQ(exe.value().image_size(), 41u);
    EXPECT_EQ(exe.value().image()[40], 0xC3);
    EXPECT_NE(exe.value().image(), file.data() + 64); // a copy, not the file's bytes
    // Programs run at the bottom of the program area, wherever the file was.
    EXPECT_EQ(exe.value().entry_address(), ProgramArea::Base + 2 * 16 + 8);
}

TEST(MzExe, CollectsRelocationEntriesInTableOrder)
{
    Layout layout;
    layout.header_paragraphs = 3;
    layout.relocations = { { 0x0001, 0x0010 }, { 0x1234, 0x0000 }, { 0xFFFE, 0xABCD } };
    ByteBuffer file = make_exe(layout);
    auto exe = MzExecutable::load(file);
    ASSERT_FALSE(exe.is_error());
    auto const& relocations = exe.value().relocations();
    ASSERT_EQ(relocations.size(), 3u);
    for (u32 i = 0; i < 3; ++i) {
        u32 at = 0x1C + i * 4;
        EXPECT_EQ(relocations[i].offset, u32(file[at] | file[at + 1] << 8));
        EXPECT_EQ(relocations[i].segment, u32(file[at + 2] | file[at + 3] << 8));
    }
    EXPECT_EQ(relocations[2].offset, 0xFFFEu);
    EXPECT_EQ(relocations[2].segment, 0xABCDu);
    // Entries are collected, never applied to the image.
    EXPECT_EQ(exe.value().image()[0], 0xC3);
}

TEST(MzExe, RejectsFilesThatAreNotMz)
{
    EXPECT_EQ(load_error_of(ByteBuffer()), "Not an MZ executable");
    EXPECT_EQ(load_error_of(bytes_of("MZ")), "Not an MZ executable");
    EXPECT_EQ(load_error_of(bytes_of("This is a plain text file, long enough for a header.")), "Not an MZ executable");
    ByteBuffer swapped = make_exe({});
    swapped[0] = 'Z';
    swapped[1] = 'M';
    EXPECT_EQ(load_error_of(swapped), "Not an MZ executable");
}

TEST(MzExe, RejectsHeaderFieldsPointingOutsideTheFile)
{
    ByteBuffer file = make_exe({});
    put16(file, 0x08, static_cast<u16>(file.size() / 16 + 1));
    EXPECT_EQ(load_error_of(file), "MZ header size outside the file");
    put16(file, 0x08, 1); // 16 bytes cannot hold the header itself
    EXPECT_EQ(load_error_of(file), "MZ header size outside the file");

    Layout layout;
    layout.relocations = { { 1, 2 }, { 3, 4 } };
    file = make_exe(layout);
    put16(file, 0x18, static_cast<u16>(file.size() - 7));
    EXPECT_EQ(load_error_of(file), "MZ relocation table outside the file");
    put16(file, 0x18, static_cast<u16>(file.size() - 8));
    EXPECT_EQ(load_error_of(file), "");

    layout = {};
    layout.module = "\xC3\xC3\xC3";
    file = make_exe(layout);
    put16(file, 0x14, 3);
    EXPECT_EQ(load_error_of(file), "MZ entry point outside the program");
    put16(file, 0x14, 2);
    EXPECT_EQ(load_error_of(file), "");
    put16(file, 0x16, 1); // CS counts in paragraphs
    EXPECT_EQ(load_error_of(file), "MZ entry point outside the program");

    layout.module.clear();
    EXPECT_EQ(load_error_of(make_exe(layout)), "MZ entry point outside the program");
}

TEST(MzExe, RefusesAProgramThatReachesIntoTheKernel)
{
    // The module and its extra paragraphs must end below the kernel image.
    u32 room = ProgramArea::End - ProgramArea::Base;
    Layout layout;
    layout.module = std::string(room - 0x100 * 16, '\x90');
    ByteBuffer file = make_exe(layout);
    put16(file, 0x0A, 0x100);
    auto fitting = MzExecutable::load(file);
    ASSERT_FALSE(fitting.is_error());
    EXPECT_EQ(fitting.value().image_size() + fitting.value().extra_size(), room);
    put16(file, 0x0A, 0x101);
    EXPECT_EQ(load_error_of(file), "Program too large");
}

namespace {
void put32(ByteBuffer& bytes, u32 offset, u32 value)
{
    put16(bytes, offset, static_cast<u16>(value));
    put16(bytes, offset + 2, static_cast<u16>(value >> 16));
}

// A program linked in the high range: three header paragraphs, the load
// information after the 28 bytes of the header.
ByteBuffer high_exe(u32 load_address, u32 extra_bytes, u16 ip = 4)
{
    Layout layout;
    layout.header_paragraphs = 3;
    layout.relocation_offset = 0x30;
    layout.ip = ip;
    ByteBuffer file = make_exe(layout);
    put32(file, 0x1C, 0x59525354); // "TSRY"
    put32(file, 0x20, load_address);
    put32(file, 0x24, extra_bytes);
    return file;
}
}

TEST(MzExe, AProgramLinkedHighSaysWhereItGoesAndHowMuchZeroedMemoryFollows)
{
    constexpr u32 High = Paging::HighProgramBase;
    auto exe = MzExecutable::load(high_exe(High, 16 * 1024 * 1024));
    ASSERT_FALSE(exe.is_error());
    EXPECT_EQ(exe.value().load_address(), High);
    EXPECT_EQ(exe.value().extra_size(), 16u * 1024 * 1024);
    EXPECT_EQ(exe.value().entry_address(), High + 4);

    // Anywhere in a program range, on a page boundary, below the stack.
    for (u32 address : { High + 1, High - 0x1000, 0x00500000u, 0x00001000u, ProgramMemory::HeapLimit, 0xFFFFF000u })
        EXPECT_EQ(load_error_of(high_exe(address, 0)), "MZ load address outside the program's memory")
            << std::hex << address;
    u32 room = ProgramMemory::HeapLimit - High;
    u32 module = static_cast<u32>(high_exe(High, 0).size()) - 48;
    EXPECT_FALSE(MzExecutable::load(high_exe(High, room - module)).is_error());
    EXPECT_EQ(load_error_of(high_exe(High, room - module + 1)), "Program too large");
    EXPECT_EQ(load_error_of(high_exe(High, 0xFFFFFFFF)), "Program too large");

    // Without the signature, or in a header too short to hold it, the bytes
    // are the plain header's padding: the program goes to 1 MiB.
    ByteBuffer unsigned_file = high_exe(High, 0);
    put32(unsigned_file, 0x1C, 0);
    EXPECT_EQ(MzExecutable::load(unsigned_file).value().load_address(), ProgramArea::Base);
}
