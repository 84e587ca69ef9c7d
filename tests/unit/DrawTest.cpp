#include "gfx/Draw.h"
#include "gfx/Font.h"
#include "gfx/SysColors.h"
#include "gfx/Trig.h"
#include "gfx/VGA.h"
#include "gfx/VGAScreen.h"
#include "tests/sim/VgaAdapter.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <utility>

namespace {

// The desktop screen in 320x200 over a simulated adapter, cleared to 0.
struct Desktop : ::testing::Test {
    Sim::FreshMachine fresh;
    VgaAdapter adapter;
    VGAScreen screen;

    Desktop() { screen.set_mode320x200x8(); }
    u8 at(int x, int y) { return adapter.window()[y * 320 + x]; }
    // Rows y..y+6 from column x, '#' where the colour is, '.' elsewhere.
    std::string rows(int x, int y, int width, u8 colour)
    {
        std::string out;
        for (int r = 0; r < 7; ++r) {
            for (int c = 0; c < width; ++c)
                out += at(x + c, y + r) == colour ? '#' : '.';
            out += '|';
        }
        return out;
    }
    std::set<std::pair<int, int>> pixels_of(u8 colour)
    {
        std::set<std::pair<int, int>> out;
        for (int i = 0; i < 0x10000; ++i) {
            if (adapter.window()[i] == colour)
                out.insert({ i % 320, i / 320 });
        }
        return out;
    }
};

}

TEST(Glyphs, WidthsAndAdvances)
{
    for (char16_t c = u'A'; c <= u'Z'; ++c) {
        auto const* glyph = Chars::get(c);
        ASSERT_NE(glyph, nullptr);
        u8 width = (c == u'I') ? 1 : (c == u'M' || c == u'W') ? 5 : 4;
        EXPECT_EQ(glyph->width, width) << static_cast<char>(c);
        EXPECT_EQ(glyph->advance, c == u'R' ? 6 : width + 1) << static_cast<char>(c);
    }
    for (char16_t c : std::u16string(u"0123456789/\\")) {
        EXPECT_EQ(Chars::get(c)->advance, 5);
    }
    EXPECT_EQ(Chars::get(u':')->width, 1);
    EXPECT_EQ(Chars::get(u' ')->advance, 2);
    EXPECT_EQ(Chars::get(u'a'), nullptr);
    EXPECT_EQ(Chars::get(u'.'), nullptr);
}

TEST_F(Desktop, TextIsDrawnGlyphByGlyphInUpperCase)
{
    ASSERT_FALSE(Font::draw_text(screen, 10, 10, "ab", 144).is_error());
    // A in columns 10-13, B in columns 15-18, rows 10-16.
    EXPECT_EQ(rows(10, 10, 10, 144), ".##..###..|#..#.#..#.|#..#.#..#.|####.###..|#..#.#..#.|#..#.#..#.|#..#.###..|");
    EXPECT_EQ(at(9, 10), 0);
    EXPECT_EQ(at(19, 16), 0);
}

TEST_F(Desktop, AdvancesLeaveTheRightGaps)
{
    ASSERT_FALSE(Font::draw_text(screen, 0, 0, "RA", 5).is_error());
    EXPECT_EQ(at(6 + 1, 0), 5); // the top of A starts one column into it, 6 after R
    EXPECT_EQ(at(6, 1), 5);
    EXPECT_EQ(at(4, 1), 0);
    EXPECT_EQ(at(5, 1), 0);
    ASSERT_FALSE(Font::draw_text(screen, 0, 20, "PA", 5).is_error());
    EXPECT_EQ(at(5, 21), 5);

    ASSERT_FALSE(Font::draw_text(screen, 0, 40, "I:I", 5).is_error());
    EXPECT_EQ(rows(0, 40, 6, 5), "#...#.|#...#.|#.#.#.|#...#.|#.#.#.|#...#.|#...#.|");
}

TEST_F(Desktop, CharactersWithoutAGlyphTakeNoRoom)
{
    ASSERT_FALSE(Font::draw_text(screen, 0, 0, "I\n.I", 9).is_error());
    EXPECT_EQ(rows(0, 0, 4, 9), "#.#.|#.#.|#.#.|#.#.|#.#.|#.#.|#.#.|");
    // Nothing for an empty text; background elements keep the screen's colour.
    Sim::clear_accesses();
    ASSERT_FALSE(Font::draw_text(screen, 50, 50, "", 9).is_error());
    EXPECT_EQ(pixels_of(9).size(), 2u * 7);
    adapter.window()[60 * 320 + 60] = 77;
    ASSERT_FALSE(Font::draw_text(screen, 60, 60, "A", 9).is_error());
    EXPECT_EQ(at(60, 60), 77);
}

TEST_F(Desktop, SpritesSkipTheTransparentKeyAndMasksDrawOnlyOnes)
{
    adapter.window()[0] = 44;
    u32 const sprite[] = { Draw::Transparent, 0x1234, 7, 0xFF00FE, Draw::Transparent, 0 };
    ASSERT_FALSE(Draw::frame(screen, sprite, 3, 2, 0, 0).is_error());
    EXPECT_EQ(at(0, 0), 44);
    EXPECT_EQ(at(1, 0), 0x34);
    EXPECT_EQ(at(2, 0), 7);
    EXPECT_EQ(at(0, 1), 0xFE);
    EXPECT_EQ(at(1, 1), 0);
    EXPECT_EQ(at(2, 1), 0);

    u32 const all_clear[4] = { Draw::Transparent, Draw::Transparent, Draw::Transparent, Draw::Transparent };
    adapter.window()[10 * 320 + 10] = 3;
    ASSERT_FALSE(Draw::frame(screen, all_clear, 2, 2, 10, 10).is_error());
    EXPECT_EQ(at(10, 10), 3);

    u32 const mask[] = { 1, 2, 0, 1 };
    ASSERT_FALSE(Draw::frame_color(screen, mask, 2, 2, 20, 20, 9).is_error());
    EXPECT_EQ(at(20, 20), 9);
    EXPECT_EQ(at(21, 20), 0);
    EXPECT_EQ(at(20, 21), 0);
    EXPECT_EQ(at(21, 21), 9);
}

// 360 steps at twice the angle: 180 points 2 degrees apart, each computed
// twice (the second time a last-bit rounding may move it by one pixel).
TEST_F(Desktop, TheDottedCircleStartsAtTheRightAndStaysOnItsRadius)
{
    ASSERT_FALSE(Draw::circle_sd(screen, 100, 50, 20).is_error());
    std::set<std::pair<int, int>> computed;
    for (int i = 0; i < 360; ++i) {
        auto p = Trig::circle_point(120, 70, 20, i);
        computed.insert({ p.x, p.y });
        EXPECT_LE(std::abs(p.x - 120), 20);
        EXPECT_LE(std::abs(p.y - 70), 20);
    }
    EXPECT_EQ(Trig::circle_point(120, 70, 20, 0).x, 140);
    EXPECT_EQ(Trig::circle_point(120, 70, 20, 0).y, 70);
    EXPECT_EQ(Trig::circle_point(120, 70, 20, 45).x, 120); // 90 degrees: straight down
    EXPECT_EQ(Trig::circle_point(120, 70, 20, 45).y, 90);
    EXPECT_EQ(pixels_of(3), computed);
    EXPECT_GT(computed.size(), 100u);

    // Rows above the screen become huge offsets beyond the window.
    auto beyond = Draw::circle_sd(screen, 0, -5, 20);
    ASSERT_TRUE(beyond.is_error());
    EXPECT_EQ(beyond.error().message(), "Memory access violation");
}

TEST(CircleHD, DrawsTheLowFourBitsInThePlanarMode)
{
    Sim::reset();
    VgaAdapter adapter;
    ASSERT_FALSE(VGA::set_mode(ScreenResolution::Mode640x480x16).is_error());
    ASSERT_FALSE(VGA::clear(1).is_error());
    ASSERT_FALSE(Draw::circle_hd(10, 10, 100, 0xFF00FF).is_error());
    EXPECT_EQ(adapter.planar_pixel(640, 210, 110), 15u);
    EXPECT_EQ(adapter.planar_pixel(640, 110, 210), 15u);
    EXPECT_EQ(adapter.planar_pixel(640, 110, 110), 1u);
    EXPECT_EQ(adapter.planar_pixel(640, 10, 110), 15u);
}

TEST_F(Desktop, TheDesktopPaletteIsLoadedWithBlackAgainAt144)
{
    Sim::clear_accesses();
    SysColors::init_colors();
    EXPECT_EQ(Sim::writes_to(0x3C8).size(), 145u);
    EXPECT_EQ(adapter.dac[0], (std::array<u8, 3> { 0, 0, 0 }));
    EXPECT_EQ(adapter.dac[1], (std::array<u8, 3> { 63, 63, 63 }));
    EXPECT_EQ(adapter.dac[3], (std::array<u8, 3> { 63, 0, 63 }));
    EXPECT_EQ(adapter.dac[19], (std::array<u8, 3> { 0, 0, 63 }));
    EXPECT_EQ(adapter.dac[105], (std::array<u8, 3> { 63, 41, 0 }));
    EXPECT_EQ(adapter.dac[143], (std::array<u8, 3> { 89 >> 2, 36 >> 2, 63 }));
    EXPECT_EQ(adapter.dac[144], (std::array<u8, 3> { 0, 0, 0 }));
    EXPECT_EQ(adapter.dac[145], (std::array<u8, 3> { 0, 0, 0 }));
    EXPECT_STREQ(SysColors::Table[77].name, "LightPink");
    EXPECT_EQ(SysColors::Table[77].rgb[1], SysColors::Table[78].rgb[1]);
}
