#include "gfx/VGA.h"
#include "gfx/ProgramDisplay.h"
#include "gfx/VGAColors.h"
#include "gfx/VGAScreen.h"
#include "tests/sim/TestMachine.h"
#include "tests/sim/VgaAdapter.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Vga : ::testing::Test {
    Sim::FreshMachine fresh;
    VgaAdapter adapter;

    static std::vector<Sim::PortAccess> vga_accesses()
    {
        std::vector<Sim::PortAccess> result;
        for (auto const& a : Sim::accesses()) {
            if (a.port >= 0x3C0 && a.port <= 0x3DA)
                result.push_back(a);
        }
        return result;
    }
    void set_mode(ScreenResolution mode) { ASSERT_FALSE(VGA::set_mode(mode).is_error()); }
    u32 pixel(u32 x, u32 y) { return VGA::get_pixel(x, y).value(); }
};

using Set = std::vector<u8>;

// The register sets as published for each mode.
Set const Mode720x480x16 = { 0xE7, 0x03, 0x01, 0x08, 0x00, 0x06, 0x6B, 0x59, 0x5A, 0x82, 0x60, 0x8D, 0x0B, 0x3E, 0x00,
    0x40, 0x06, 0x07, 0x00, 0x00, 0x00, 0x00, 0xEA, 0x0C, 0xDF, 0x2D, 0x08, 0xE8, 0x05, 0xE3, 0xFF, 0x00, 0x00, 0x00,
    0x00, 0x03, 0x00, 0x05, 0x0F, 0xFF, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,
    0x0D, 0x0E, 0x0F, 0x01, 0x00, 0x0F, 0x00, 0x00 };
Set const Mode320x200x256 = { 0x63, 0x03, 0x01, 0x0F, 0x00, 0x0E, 0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0xBF, 0x1F, 0x00,
    0x41, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x9C, 0x0E, 0x8F, 0x28, 0x40, 0x96, 0xB9, 0xA3, 0xFF, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x40, 0x05, 0x0F, 0xFF, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,
    0x0D, 0x0E, 0x0F, 0x41, 0x00, 0x0F, 0x00, 0x00 };
Set const Mode320x200x4 = { 0x63, 0x03, 0x09, 0x03, 0x00, 0x02, 0x2D, 0x27, 0x28, 0x90, 0x2B, 0x80, 0xBF, 0x1F, 0x00,
    0x41, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x9C, 0x0E, 0x8F, 0x14, 0x00, 0x96, 0xB9, 0xA3, 0xFF, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x30, 0x02, 0x00, 0xFF, 0x00, 0x13, 0x15, 0x17, 0x02, 0x04, 0x06, 0x07, 0x10, 0x11, 0x12, 0x13, 0x14,
    0x15, 0x16, 0x17, 0x01, 0x00, 0x03, 0x00, 0x00 };
Set const Mode640x480x2 = { 0xE3, 0x03, 0x01, 0x0F, 0x00, 0x06, 0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0x0B, 0x3E, 0x00,
    0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEA, 0x0C, 0xDF, 0x28, 0x00, 0xE7, 0x04, 0xE3, 0xFF, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x05, 0x0F, 0xFF, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x14, 0x07, 0x38, 0x39, 0x3A, 0x3B, 0x3C,
    0x3D, 0x3E, 0x3F, 0x01, 0x00, 0x0F, 0x00, 0x00 };
Set const Mode640x480x16 = { 0xE3, 0x03, 0x01, 0x08, 0x00, 0x06, 0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0x0B, 0x3E, 0x00,
    0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEA, 0x0C, 0xDF, 0x28, 0x00, 0xE7, 0x04, 0xE3, 0xFF, 0x00, 0x00, 0x00,
    0x00, 0x03, 0x00, 0x05, 0x0F, 0xFF, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x14, 0x07, 0x38, 0x39, 0x3A, 0x3B, 0x3C,
    0x3D, 0x3E, 0x3F, 0x01, 0x00, 0x0F, 0x00, 0x00 };

// The port sequence that loads a register set into an adapter whose CRT
// registers 3 and 0x11 read `crtc3` and `crtc11` beforehand.
std::vector<std::string> expected_sequence(Set const& r, u8 crtc3, u8 crtc11)
{
    std::vector<std::string> out;
    auto w = [&](u16 port, u32 value) { out.push_back("w " + std::to_string(port) + " " + std::to_string(value)); };
    auto rd = [&](u16 port, u32 value) { out.push_back("r " + std::to_string(port) + " " + std::to_string(value)); };
    w(0x3C2, r[0]);
    for (int i = 0; i < 5; ++i)
        w(0x3C4, i), w(0x3C5, r[1 + i]);
    w(0x3D4, 3), rd(0x3D5, crtc3), w(0x3D5, crtc3 | 0x80);
    w(0x3D4, 0x11), rd(0x3D5, crtc11), w(0x3D5, crtc11 & 0x7F);
    for (int i = 0; i < 25; ++i) {
        u8 v = r[6 + i];
        if (i == 3)
            v |= 0x80;
        if (i == 0x11)
            v &= 0x7F;
        w(0x3D4, i), w(0x3D5, v);
    }
    for (int i = 0; i < 9; ++i)
        w(0x3CE, i), w(0x3CF, r[31 + i]);
    for (int i = 0; i < 21; ++i)
        rd(0x3DA, 0), w(0x3C0, i), w(0x3C0, r[40 + i]);
    rd(0x3DA, 0), w(0x3C0, 0x20);
    return out;
}

std::vector<std::string> describe(std::vector<Sim::PortAccess> const& accesses, size_t count)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < count && i < accesses.size(); ++i) {
        auto const& a = accesses[i];
        out.push_back(std::string(a.write ? "w " : "r ") + std::to_string(a.port) + " " + std::to_string(a.value));
    }
    return out;
}

}

TEST_F(Vga, EveryModeLoadsItsRegisterSetInPortOrderKeepingTheCrtUnlocked)
{
    struct Case {
        ScreenResolution mode;
        Set const& registers;
    } const cases[] = { { ScreenResolution::Mode320x200x256, Mode320x200x256 },
        { ScreenResolution::Mode320x200x4, Mode320x200x4 }, { ScreenResolution::Mode640x480x2, Mode640x480x2 },
        { ScreenResolution::Mode640x480x16, Mode640x480x16 }, { ScreenResolution::Mode720x480x16, Mode720x480x16 } };
    for (auto const& c : cases) {
        u8 crtc3 = adapter.crtc[3], crtc11 = adapter.crtc[0x11];
        Sim::clear_accesses();
        set_mode(c.mode);
        auto expected = expected_sequence(c.registers, crtc3, crtc11);
        EXPECT_EQ(describe(vga_accesses(), expected.size()), expected) << static_cast<int>(c.mode);
        EXPECT_EQ(adapter.crtc[0x11] & 0x80, 0);
        EXPECT_EQ(adapter.crtc[3] & 0x80, 0x80);
    }
    // Loading a set twice writes the same values: the sets are not altered.
    Sim::clear_accesses();
    set_mode(ScreenResolution::Mode720x480x16);
    auto first = describe(vga_accesses(), 200);
    Sim::clear_accesses();
    set_mode(ScreenResolution::Mode720x480x16);
    EXPECT_EQ(describe(vga_accesses(), 200), first);
    EXPECT_EQ(VGA::screen_width(), 720);
    EXPECT_EQ(VGA::screen_height(), 480);
    EXPECT_EQ(VGA::colour_count(), 16);
}

TEST_F(Vga, PlanarModesClearToBlackAndDrawTheRedTestRectangle)
{
    set_mode(ScreenResolution::Mode720x480x16);
    for (auto [x, y, colour] : std::vector<std::tuple<u32, u32, u32>> { { 0, 0, 1 }, { 7, 7, 1 }, { 8, 8, 11 },
             { 711, 471, 11 }, { 712, 471, 1 }, { 711, 472, 1 }, { 719, 479, 1 }, { 360, 8, 11 }, { 360, 7, 1 } })
        EXPECT_EQ(adapter.planar_pixel(720, x, y), colour) << x << "," << y;

    set_mode(ScreenResolution::Mode640x480x16);
    EXPECT_EQ(adapter.planar_pixel(640, 8, 8), 11u);
    EXPECT_EQ(adapter.planar_pixel(640, 631, 471), 11u);
    EXPECT_EQ(adapter.planar_pixel(640, 632, 471), 1u);
    EXPECT_EQ(adapter.planar_pixel(640, 639, 0), 1u);
    // Only the 16 basic colours are loaded: aqua at 0, black at 1, red at 11.
    EXPECT_EQ(adapter.dac[0], (std::array<u8, 3> { 0, 63, 63 }));
    EXPECT_EQ(adapter.dac[11], (std::array<u8, 3> { 63, 0, 0 }));
    EXPECT_EQ(adapter.dac[15], (std::array<u8, 3> { 63, 63, 0 }));
    EXPECT_EQ(Sim::writes_to(0x3C8).size(), 2 * 16u); // two mode switches
}

// Whatever the screen showed before, every pixel ends as the clear colour
// in the 8-pixel border and as red inside it.
TEST_F(Vga, AModeSwitchRepaintsEveryPixelOfAScreenFullOfOldPicture)
{
    struct Case {
        ScreenResolution mode;
        u32 width, height, black, red;
    } const cases[] = {
        { ScreenResolution::Mode720x480x16, 720, 480, 1, 11 },
        { ScreenResolution::Mode640x480x16, 640, 480, 1, 11 },
        { ScreenResolution::Mode320x200x256, 320, 200, 7, 19 },
    };
    for (auto const& c : cases) {
        set_mode(c.mode);
        // An old picture of stripes in other colours, edges included.
        for (u32 x0 = 0; x0 < c.width; x0 += 64) {
            u32 x1 = x0 + 63 < c.width ? x0 + 63 : c.width - 1;
            ASSERT_FALSE(VGA::fill_rectangle(x0, 0, x1, c.height - 1, x0 / 64 % 8 + 2).is_error());
        }
        set_mode(c.mode);
        auto screen = c.width == 320 ? std::vector<u8>(adapter.window(), adapter.window() + 64000)
                                     : adapter.planar_screen(c.width, c.height);
        for (u32 y = 0; y < c.height; ++y) {
            for (u32 x = 0; x < c.width; ++x) {
                bool inside = x >= 8 && y >= 8 && x + 8 < c.width && y + 8 < c.height;
                ASSERT_EQ(screen[y * c.width + x], inside ? c.red : c.black) << x << "," << y;
            }
        }
    }
}

TEST_F(Vga, Mode320x200x256ClearsToIndex7AndUsesCrimsonForRed)
{
    set_mode(ScreenResolution::Mode320x200x256);
    u8* window = adapter.window();
    EXPECT_EQ(window[0], 7);
    EXPECT_EQ(window[7 * 320 + 100], 7);
    EXPECT_EQ(window[8 * 320 + 8], 19);
    EXPECT_EQ(window[191 * 320 + 311], 19);
    EXPECT_EQ(window[191 * 320 + 312], 7);
    EXPECT_EQ(window[199 * 320 + 319], 7);
    auto dac_indices = Sim::writes_to(0x3C8);
    ASSERT_EQ(dac_indices.size(), 63u);
    EXPECT_EQ(dac_indices.back().value, 62u);
    EXPECT_EQ(adapter.dac[19], (std::array<u8, 3> { 220 >> 2, 20 >> 2, 60 >> 2 }));
}

TEST_F(Vga, ModesWithoutAPaletteDrawEverythingInIndex0)
{
    set_mode(ScreenResolution::Mode640x480x2);
    EXPECT_EQ(Sim::writes_to(0x3C8).size(), 0u);
    EXPECT_EQ(adapter.planar_pixel(640, 100, 100), 0u);
    EXPECT_EQ(VGAColors::find_index(255, 0, 0), 0);

    std::fill(adapter.window(), adapter.window() + 0x10000, 0xAA);
    set_mode(ScreenResolution::Mode320x200x4);
    EXPECT_EQ(adapter.window()[0], 0);
    EXPECT_EQ(adapter.window()[80 * 199 + 79], 0);
    EXPECT_EQ(adapter.window()[80 * 200], 0xAA); // beyond the screen
}

TEST_F(Vga, AModeOutsideTheTableProgramsNothingButIsRecorded)
{
    set_mode(ScreenResolution::Mode320x200x256);
    Sim::clear_accesses();
    set_mode(static_cast<ScreenResolution>(7));
    EXPECT_TRUE(vga_accesses().empty());
    EXPECT_EQ(static_cast<u32>(VGA::resolution()), 7u);
    EXPECT_EQ(VGA::screen_width(), 320);
    EXPECT_TRUE(VGAColors::palette_entries().is_empty());
    ASSERT_FALSE(VGA::set_pixel(0, 0, 5).is_error());
    EXPECT_EQ(adapter.window()[0], 7);
    EXPECT_EQ(pixel(8, 8), 0u);
}

TEST_F(Vga, PlanarPixelsChangeOneBitInEachPlane)
{
    set_mode(ScreenResolution::Mode640x480x16);
    ASSERT_FALSE(VGA::clear(6).is_error());
    ASSERT_FALSE(VGA::set_pixel(13, 2, 11).is_error());
    EXPECT_EQ(pixel(13, 2), 11u);
    for (u32 x = 8; x < 16; ++x) {
        if (x != 13) {
            EXPECT_EQ(pixel(x, 2), 6u) << x;
        }
    }
    // 11 = planes 0, 1 and 3: bit 7 - 5 of byte 80 * 2 + 1.
    u32 offset = 80 * 2 + 1;
    EXPECT_EQ(adapter.plane(0, offset), 0x04);
    EXPECT_EQ(adapter.plane(1, offset), 0xFF);
    EXPECT_EQ(adapter.plane(2, offset), 0xFB);
    EXPECT_EQ(adapter.plane(3, offset), 0x04);
    // Colours are cut to four bits.
    ASSERT_FALSE(VGA::set_pixel(0, 0, 0x1F3).is_error());
    EXPECT_EQ(pixel(0, 0), 3u);
}

TEST_F(Vga, FillsGiveTheSamePixelsAsThePerPixelPath)
{
    set_mode(ScreenResolution::Mode640x480x16);
    ASSERT_FALSE(VGA::clear(13).is_error());
    for (int p = 0; p < 4; ++p) {
        u8 expected = (13 >> p) & 1 ? 0xFF : 0x00;
        EXPECT_EQ(adapter.plane(p, 0), expected);
        EXPECT_EQ(adapter.plane(p, 38399), expected);
        EXPECT_EQ(adapter.plane(p, 38400), 0) << "beyond the screen";
    }
    // A rectangle with partial bytes at both ends.
    ASSERT_FALSE(VGA::fill_rectangle(3, 2, 20, 4, 9).is_error());
    for (u32 y = 0; y < 7; ++y) {
        for (u32 x = 0; x < 30; ++x) {
            bool inside = x >= 3 && x <= 20 && y >= 2 && y <= 4;
            EXPECT_EQ(pixel(x, y), inside ? 9u : 13u) << x << "," << y;
        }
    }
    // Single pixels still work after a fill.
    ASSERT_FALSE(VGA::set_pixel(100, 100, 5).is_error());
    EXPECT_EQ(pixel(100, 100), 5u);
    EXPECT_EQ(pixel(101, 100), 13u);

    set_mode(ScreenResolution::Mode320x200x4);
    ASSERT_FALSE(VGA::fill_rectangle(2, 1, 9, 1, 3).is_error());
    EXPECT_EQ(adapter.window()[80 + 0], 0x0F);
    EXPECT_EQ(adapter.window()[80 + 1], 0xFF);
    EXPECT_EQ(adapter.window()[80 + 2], 0xF0);
}

TEST_F(Vga, FourColourAndByteModeLayouts)
{
    set_mode(ScreenResolution::Mode320x200x4);
    adapter.window()[1] = 0xFF;
    ASSERT_FALSE(VGA::set_pixel(5, 0, 2).is_error());
    EXPECT_EQ(adapter.window()[1], 0xEF); // bits 5-4 become 10
    EXPECT_EQ(pixel(5, 0), 0u);           // cannot be read back
    ASSERT_FALSE(VGA::set_pixel(3, 1, 7).is_error());
    EXPECT_EQ(adapter.window()[80] & 0x03, 0x03);

    set_mode(ScreenResolution::Mode320x200x256);
    ASSERT_FALSE(VGA::set_pixel(319, 199, 0x1FF).is_error());
    EXPECT_EQ(adapter.window()[63999], 0xFF);
    EXPECT_EQ(pixel(319, 199), 0xFFu);
    auto beyond = VGA::set_pixel(0, 205, 1);
    ASSERT_TRUE(beyond.is_error());
    EXPECT_EQ(beyond.error().message(), "Memory access violation");
}

TEST_F(Vga, PaletteEntriesAreWrittenAsSixBitComponents)
{
    VGAPortGroup::set_palette_entry(3, 255, 128, 0);
    auto writes = Sim::accesses();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0].port, 0x3C8);
    EXPECT_EQ(writes[0].value, 3u);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(writes[i].port, 0x3C9);
    EXPECT_EQ(writes[1].value, 63u);
    EXPECT_EQ(writes[2].value, 32u);
    EXPECT_EQ(writes[3].value, 0u);
}

TEST(VgaColors, FindIndexTakesTheFirstNearestEntry)
{
    VGAColors::clear_entries();
    EXPECT_EQ(VGAColors::find_index(12, 34, 56), 0);
    VGAColors::add_entry(10, 0, 0);
    VGAColors::add_entry(0, 0, 10);
    VGAColors::add_entry(0, 0, 0);
    EXPECT_EQ(VGAColors::find_index(5, 0, 5), 0); // two at distance 10
    EXPECT_EQ(VGAColors::find_index(0, 0, 0), 2);
    EXPECT_EQ(VGAColors::palette_entries()[2].index, 2);
    EXPECT_EQ(VGAColors::delta_rgb(Color(255, 0, 10), Color(0, 255, 0)), 520);
}

TEST_F(Vga, FindIndexOnTheNamedColours)
{
    set_mode(ScreenResolution::Mode320x200x256);
    EXPECT_EQ(VGAColors::find_index(255, 0, 0), 19);
    EXPECT_EQ(VGAColors::find_index(255, 255, 255), 47);
    EXPECT_EQ(VGAColors::find_index(0, 255, 255), 2); // aqua comes before cyan
    EXPECT_EQ(VGAColors::find_index(0, 0, 0), 7);
}

TEST_F(Vga, ScreenNeedsAModeAndFindsItsWindow)
{
    VGAScreen screen;
    auto set = screen.set_pixel(1, 1, 3);
    ASSERT_TRUE(set.is_error());
    EXPECT_EQ(set.error().message(), "No video mode set!");
    EXPECT_EQ(screen.get_pixel(1, 1).error().message(), "No video mode set!");
    Sim::memory(0xB8000)[0] = 0x55;
    ASSERT_FALSE(screen.clear(9).is_error()); // 0 x 0 pixels
    EXPECT_EQ(Sim::memory(0xB8000)[0], 0x55);

    adapter.graphics[6] = 0x0A;
    EXPECT_EQ(screen.get_framebuffer_segment().value().base(), 0xB0000u);
    adapter.graphics[6] = 0x0E;
    EXPECT_EQ(screen.get_framebuffer_segment().value().base(), 0xB8000u);

    screen.set_mode320x200x8();
    EXPECT_EQ(adapter.graphics[6], 0x05);
    EXPECT_EQ(screen.get_framebuffer_segment().value().base(), 0xA0000u);
    ASSERT_FALSE(screen.clear(0x113).is_error());
    EXPECT_EQ(adapter.window()[63999], 0x13);
    EXPECT_EQ(adapter.window()[64000], 0);
    ASSERT_FALSE(screen.set_pixel(10, 2, 42).is_error());
    EXPECT_EQ(adapter.window()[650], 42);
    EXPECT_EQ(screen.get_pixel(10, 2).value(), 42u);
}

namespace {

// The text mode as the BIOS leaves it, a font in plane 2, a DAC of its own
// and the shell's lines on the screen: what a program finds.
struct ProgramScreenOnText : ::testing::Test {
    TestMachine machine;
    VgaAdapter adapter;
    ProgramDisplay display;
    std::vector<u8> font = std::vector<u8>(256 * 32);

    ProgramScreenOnText()
    {
        Set const mode3 = { 0x67, 0x03, 0x00, 0x03, 0x00, 0x02, 0x5F, 0x4F, 0x50, 0x82, 0x55, 0x81, 0xBF, 0x1F, 0x00,
            0x4F, 0x0D, 0x0E, 0x00, 0x00, 0x01, 0x2C, 0x9C, 0x8E, 0x8F, 0x28, 0x1F, 0x96, 0xB9, 0xA3, 0xFF, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x10, 0x0E, 0x00, 0xFF, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x14, 0x07, 0x38, 0x39, 0x3A,
            0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x0C, 0x00, 0x0F, 0x08, 0x00 };
        load(mode3);
        for (size_t i = 0; i < font.size(); ++i)
            font[i] = static_cast<u8>(i * 7 + i / 32);
        adapter.write_plane(2, 0, font);
        for (int i = 0; i < 256; ++i)
            adapter.dac[i] = { static_cast<u8>(i % 64), static_cast<u8>(i * 3 % 64), static_cast<u8>(63 - i % 64) };
        for (int line = 0; line < 20; ++line)
            (void)machine.writer().write("root ~/home/root # line " + String::number(line) + "\n");
        (void)machine.writer().write("root ~/home/root # run game.exe");
    }
    void load(Set const& r)
    {
        adapter.misc = r[0];
        std::copy(r.begin() + 1, r.begin() + 6, adapter.sequencer.begin());
        std::copy(r.begin() + 6, r.begin() + 31, adapter.crtc.begin());
        std::copy(r.begin() + 31, r.begin() + 40, adapter.graphics.begin());
        std::copy(r.begin() + 40, r.end(), adapter.attribute.begin());
    }
    Set registers() const
    {
        Set r { adapter.misc };
        r.insert(r.end(), adapter.sequencer.begin(), adapter.sequencer.end());
        r.insert(r.end(), adapter.crtc.begin(), adapter.crtc.end());
        r.insert(r.end(), adapter.graphics.begin(), adapter.graphics.end());
        r.insert(r.end(), adapter.attribute.begin(), adapter.attribute.end());
        return r;
    }
    std::vector<u8> plane2()
    {
        std::vector<u8> bytes(font.size());
        for (u32 i = 0; i < bytes.size(); ++i)
            bytes[i] = adapter.plane(2, i);
        return bytes;
    }
    static std::vector<u8> cells() { return { Sim::memory(0xB8000), Sim::memory(0xB8000) + 4000 }; }
};

}

TEST_F(ProgramScreenOnText, AFrameAndPaletteShowAndTheTextScreenComesBackExactly)
{
    Set const text_registers = registers();
    auto const dac = adapter.dac;
    auto const text = cells();
    i32 x = machine.writer().x(), y = machine.writer().y();

    ASSERT_EQ(display.set_screen(TESSARY_SCREEN_320X200), 0);
    Set expected(Mode320x200x256);
    expected[6 + 0x11] &= 0x7F; // left unlocked
    EXPECT_EQ(registers(), expected);
    // Cleared: the planes' font and cells do not show through.
    EXPECT_TRUE(std::all_of(adapter.window(), adapter.window() + 64000, [](u8 b) { return b == 0; }));

    std::array<u8, ProgramScreen::PaletteSize> palette;
    for (u32 i = 0; i < palette.size(); ++i)
        palette[i] = static_cast<u8>(255 - i);
    ASSERT_EQ(display.set_palette(palette), 0);
    for (u32 i = 0; i < palette.size(); ++i)
        ASSERT_EQ(adapter.dac[i / 3][i % 3], palette[i] >> 2) << i;

    // Pieces as a program's pages hand them over, aligned and not.
    std::vector<u8> frame(ProgramScreen::FrameSize);
    for (u32 i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<u8>(i / 320 + i % 320 * 3);
    for (u32 done = 0, size = 4093; done < frame.size(); done += size, size = size == 4096 ? 4093 : 4096) {
        u32 count = std::min<u32>(size, ProgramScreen::FrameSize - done);
        ASSERT_EQ(display.show_frame_piece(done, { frame.data() + done, count }), 0) << done;
    }
    EXPECT_EQ(std::vector<u8>(adapter.window(), adapter.window() + 64000), frame);
    EXPECT_EQ(display.show_frame_piece(63000, { frame.data(), 4096 }), TESSARY_BAD_ARGUMENT);
    EXPECT_EQ(adapter.window()[63000], frame[63000]);

    // What the program prints meanwhile goes nowhere.
    for (int line = 0; line < 5; ++line)
        (void)machine.writer().write("behind the picture\n");
    display.restore();
    EXPECT_EQ(registers(), text_registers);
    EXPECT_EQ(plane2(), font);
    EXPECT_EQ(cells(), text);
    EXPECT_EQ(adapter.dac, dac);
    EXPECT_EQ(machine.writer().x(), x);
    EXPECT_EQ(machine.writer().y(), y);

    Sim::clear_accesses();
    display.restore();
    EXPECT_TRUE(Sim::accesses().empty());
}

TEST_F(ProgramScreenOnText, TheTextScreenTakesNoFramesAndEachSwitchAwaySavesItAfresh)
{
    Set const text_registers = registers();
    auto const text = cells();
    std::vector<u8> const piece(4096, 9);
    std::array<u8, ProgramScreen::PaletteSize> const palette {};
    Sim::clear_accesses();
    EXPECT_EQ(display.set_palette(palette), TESSARY_BAD_ARGUMENT);
    EXPECT_EQ(display.show_frame_piece(0, piece), TESSARY_BAD_ARGUMENT);
    EXPECT_EQ(display.set_screen(2), TESSARY_BAD_ARGUMENT);
    EXPECT_EQ(display.set_screen(TESSARY_SCREEN_TEXT), 0);
    display.restore();
    EXPECT_TRUE(Sim::accesses().empty());
    EXPECT_EQ(cells(), text);
    EXPECT_EQ(adapter.window()[0], 0);

    // A second switch while the frame shows keeps the text screen first saved.
    ASSERT_EQ(display.set_screen(TESSARY_SCREEN_320X200), 0);
    ASSERT_EQ(display.set_screen(TESSARY_SCREEN_320X200), 0);
    ASSERT_EQ(display.set_screen(TESSARY_SCREEN_TEXT), 0);
    EXPECT_EQ(registers(), text_registers);
    EXPECT_EQ(cells(), text);
    EXPECT_EQ(display.show_frame_piece(0, piece), TESSARY_BAD_ARGUMENT);

    // Back in text the program prints; the next switch keeps that too.
    (void)machine.writer().write("\nscore 42");
    auto const with_score = cells();
    ASSERT_EQ(display.set_screen(TESSARY_SCREEN_320X200), 0);
    ASSERT_EQ(display.show_frame_piece(0, piece), 0);
    display.restore();
    EXPECT_EQ(cells(), with_score);
    EXPECT_EQ(plane2(), font);
}
