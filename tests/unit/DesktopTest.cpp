#include "gfx/Draw.h"
#include "gfx/Font.h"
#include "gfx/Mouse.h"
#include "gfx/VGAScreen.h"
#include "hal/Time.h"
#include "kernel/Kernel.h"
#include "tests/sim/CmosClock.h"
#include "tests/sim/PS2Mouse.h"
#include "tests/sim/VgaAdapter.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

enum : u8 {
    White = 1,
    Gray = 2,
    Red = 6,
    LightGray = 7,
    Yellow = 11,
    Aqua = 14,
    Blue = 19,
    DarkOrange = 38,
    Orange = 105,
    Ink = 144
};

struct DesktopScreen : ::testing::Test {
    Sim::FreshMachine fresh;
    VgaAdapter adapter;
    PS2Mouse mouse;
    CmosClock clock { 0x09, 0x05, 0, 0 }; // 9:05, BCD
    Kernel kernel { Vector<Command>() };
    Desktop& desktop = kernel.desktop();

    DesktopScreen()
    {
        clock.registers[0x0B] = 0x02; // BCD, 24-hour
        desktop.screen().set_mode320x200x8();
        (void)desktop.screen().clear(Blue);
        Mouse::reset(0, 0);
    }
    u8* window() { return adapter.window(); }
    u8 at(int x, int y) { return window()[y * 320 + x]; }
};

// The desktop as the drawing list describes it, built here pixel by pixel.
struct Reference {
    std::vector<u8> pixels = std::vector<u8>(64000, Blue);
    void set(int x, int y, u8 c) { pixels[y * 320 + x] = c; }
    void block(int x0, int x1, int y0, int y1, u8 c)
    {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                set(x, y, c);
    }
};

Reference desktop_reference(std::vector<u8> const& text_and_circle, bool menu_open)
{
    Reference r;
    r.block(0, 319, 0, 0, Orange);
    r.block(0, 319, 10, 10, Orange);
    r.block(0, 319, 188, 188, Orange);
    r.block(0, 319, 199, 199, Orange);
    r.block(0, 30, 189, 198, Aqua);
    r.block(31, 31, 189, 198, Orange);
    r.block(0, 21, 1, 9, Aqua);
    // D, O, S
    r.block(2, 2, 2, 8, Yellow);
    for (auto [x, y] : { std::pair { 3, 2 }, { 4, 3 }, { 5, 4 }, { 6, 5 }, { 6, 6 }, { 5, 7 }, { 3, 8 }, { 4, 8 } })
        r.set(x, y, Yellow);
    r.block(9, 11, 2, 2, Yellow);
    r.block(9, 11, 8, 8, Yellow);
    r.block(8, 8, 3, 7, Yellow);
    r.block(12, 12, 3, 7, Yellow);
    r.block(15, 17, 2, 2, Yellow);
    r.block(15, 17, 8, 8, Yellow);
    for (auto [x, y] :
        { std::pair { 14, 3 }, { 14, 4 }, { 15, 5 }, { 16, 5 }, { 17, 6 }, { 18, 7 }, { 14, 7 }, { 18, 3 } })
        r.set(x, y, Yellow);
    r.block(22, 22, 1, 9, Orange);
    r.block(283, 283, 1, 9, Orange);
    r.block(284, 306, 1, 9, Yellow);
    if (menu_open) {
        r.block(307, 307, 10, 19, DarkOrange);
        r.block(307, 319, 20, 20, DarkOrange);
        r.block(308, 319, 11, 19, Red);
    } else {
        r.block(307, 319, 10, 29, Blue);
    }
    r.block(307, 307, 1, 9, DarkOrange);
    r.block(308, 319, 1, 9, Aqua);
    for (auto [x, y] : { std::pair { 310, 8 }, { 311, 7 }, { 312, 6 }, { 313, 5 }, { 313, 4 }, { 313, 3 }, { 313, 2 },
             { 314, 2 }, { 314, 5 }, { 315, 5 }, { 316, 5 }, { 316, 4 } })
        r.set(x, y, Gray);
    for (auto [x, y] : { std::pair { 310, 7 }, { 311, 6 }, { 312, 5 }, { 312, 4 }, { 312, 3 }, { 312, 2 }, { 312, 1 },
             { 313, 1 }, { 314, 1 }, { 314, 4 }, { 315, 4 }, { 315, 3 }, { 316, 3 } })
        r.set(x, y, LightGray);
    // Text and circle, drawn on their own beforehand.
    for (int i = 0; i < 64000; ++i)
        if (text_and_circle[i] != Blue)
            r.pixels[i] = text_and_circle[i];
    // The bar sprite, 16 x 4 at (10, 20), as the low bytes of its values.
    r.block(10, 25, 20, 20, 0);
    r.block(10, 25, 21, 23, 0xFF);
    r.block(12, 24, 23, 23, 0xC0);
    r.set(24, 23, 0xFF);
    r.set(10, 21, 0), r.set(10, 22, 0), r.set(10, 23, 0);
    r.set(25, 21, 0), r.set(25, 22, 0), r.set(25, 23, 0);
    r.set(11, 23, 0xFF), r.set(12, 23, 0xFF);
    return r;
}

std::vector<u8> text_and_circle(VgaAdapter& adapter, VGAScreen& screen, char const* clock)
{
    (void)screen.clear(Blue);
    EXPECT_FALSE(Draw::circle_sd(screen, 50, 50, 10).is_error());
    EXPECT_FALSE(Font::draw_text(screen, 1, 191, "LAUNCH", Ink).is_error());
    EXPECT_FALSE(Font::draw_text(screen, 50, 20, "ABCDEFGHIJKLMNOPQRSTUVWXYZ:A/B\\", Ink).is_error());
    EXPECT_FALSE(Font::draw_text(screen, 285, 2, clock, Ink).is_error());
    return std::vector<u8>(adapter.window(), adapter.window() + 64000);
}

void expect_same(std::vector<u8> const& expected, u8 const* actual)
{
    int mismatches = 0;
    for (int i = 0; i < 64000 && mismatches < 10; ++i) {
        if (expected[i] != actual[i]) {
            ADD_FAILURE() << "pixel (" << i % 320 << ", " << i / 320 << ") is " << int(actual[i]) << ", expected "
                          << int(expected[i]);
            ++mismatches;
        }
    }
}

}

TEST_F(DesktopScreen, SetDeskDrawsTheDesktopOfTheDrawingList)
{
    // Before ten o'clock a leading zero is drawn on its own.
    auto text = text_and_circle(adapter, desktop.screen(), "0");
    (void)Font::draw_text(desktop.screen(), 290, 2, "9:05", Ink);
    text.assign(adapter.window(), adapter.window() + 64000);
    (void)desktop.screen().clear(Blue);
    ASSERT_FALSE(desktop.draw().is_error());
    expect_same(desktop_reference(text, false).pixels, window());

    clock.registers[0x04] = 0x14;
    desktop.set_menu_open(true);
    text = text_and_circle(adapter, desktop.screen(), "14:05");
    (void)desktop.screen().clear(Blue);
    ASSERT_FALSE(desktop.draw().is_error());
    expect_same(desktop_reference(text, true).pixels, window());
}

TEST_F(DesktopScreen, ClicksActOnTheirRegions)
{
    // Next to the DOS button nothing happens.
    ASSERT_FALSE(desktop.click(22, 8).is_error());
    EXPECT_FALSE(kernel.skip_boot_question());
    EXPECT_TRUE(Sim::writes_to(0x64).empty());

    // The top-right button toggles the panel; its left edge column does not.
    ASSERT_FALSE(desktop.click(308, 1).is_error());
    EXPECT_TRUE(desktop.is_menu_open());
    ASSERT_FALSE(desktop.click(319, 9).is_error());
    EXPECT_FALSE(desktop.is_menu_open());
    ASSERT_FALSE(desktop.click(307, 5).is_error());
    ASSERT_FALSE(desktop.click(310, 10).is_error());
    EXPECT_FALSE(desktop.is_menu_open());

    // The desktop button (the LAUNCH block) writes Bonjour in white.
    EXPECT_EQ(desktop.launch_button().location().x, 0);
    EXPECT_EQ(desktop.launch_button().location().y, 189);
    EXPECT_EQ(desktop.launch_button().size().width, 31);
    EXPECT_EQ(desktop.launch_button().size().height, 10);
    ASSERT_FALSE(desktop.click(30, 198).is_error());
    EXPECT_EQ(at(150, 181), White); // the B's left stroke
    EXPECT_EQ(at(150, 180), White);
    int white = 0;
    for (int i = 0; i < 64000; ++i)
        white += window()[i] == White;
    EXPECT_GT(white, 60);
    (void)desktop.screen().clear(Blue);
    ASSERT_FALSE(desktop.click(31, 198).is_error());
    EXPECT_EQ(at(150, 181), Blue);

    // The DOS button restarts the machine through the keyboard controller.
    EXPECT_THROW((void)desktop.click(21, 8), Sim::Stopped);
    EXPECT_TRUE(kernel.skip_boot_question());
    auto writes = Sim::writes_to(0x64);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().value, 0xFEu);
}

TEST_F(DesktopScreen, TheLoopDrawsTheDesktopOnceThePointerMoves)
{
    Mouse::reset(50, 150);
    mouse.packet(50, 50); // to (100, 100)
    mouse.deliver_on_halt();
    // White and red drawings elsewhere are erased with the old pointer.
    EXPECT_THROW((void)desktop.run(), Sim::Stopped);
    EXPECT_EQ(desktop.pointer_at_start().x, 50);
    EXPECT_EQ(desktop.pointer_at_start().y, 150);
    EXPECT_EQ(at(160, 0), Orange);
    for (auto [dx, dy] : { std::pair { 0, 0 }, { 0, 1 }, { 0, 2 }, { 1, 0 }, { 2, 0 }, { 2, 2 }, { 3, 2 }, { 2, 3 },
             { 3, 3 }, { 4, 3 }, { 4, 4 }, { 3, 4 } })
        EXPECT_EQ(at(100 + dx, 100 + dy), White) << dx << "," << dy;
    EXPECT_EQ(at(101, 101), Blue);
    EXPECT_EQ(at(103, 100), Blue);

    // The next move erases the old pointer and any other white or red pixel.
    window()[150 * 320 + 200] = White;
    window()[150 * 320 + 201] = Red;
    mouse.packet(-20, 0); // to (80, 100)
    EXPECT_THROW((void)desktop.run(), Sim::Stopped);
    EXPECT_EQ(at(100, 100), Blue);
    EXPECT_EQ(at(200, 150), Blue);
    EXPECT_EQ(at(201, 150), Blue);
    EXPECT_EQ(at(80, 100), White);
}

TEST_F(DesktopScreen, NothingIsDrawnBeforeTheFirstMoveNorForOtherButtons)
{
    Mouse::reset(100, 100);
    mouse.packet(0, 0);
    mouse.packet(5, 0, 2); // right button
    mouse.deliver_on_halt();
    EXPECT_THROW((void)desktop.run(), Sim::Stopped);
    EXPECT_EQ(at(160, 0), Blue);
    EXPECT_EQ(at(105, 100), Blue);
    EXPECT_FALSE(desktop.is_menu_open());
}

TEST_F(DesktopScreen, AHeldButtonClicksOnEveryPass)
{
    // Moved onto the top-right button with the left button down: one click,
    // and the pointer is drawn in red.
    Mouse::reset(200, 100);
    mouse.packet(115, 95, 1); // to (315, 5)
    mouse.deliver_on_halt();
    EXPECT_THROW((void)desktop.run(), Sim::Stopped);
    EXPECT_TRUE(desktop.is_menu_open());
    EXPECT_EQ(at(315, 7), Red);

    // Still held: every interrupt ends a pass, and every pass clicks.
    desktop.set_menu_open(false);
    Mouse::reset(200, 100);
    mouse.packet(115, 95, 1);
    mouse.packet(0, 0, 1);
    EXPECT_THROW((void)desktop.run(), Sim::Stopped);
    EXPECT_FALSE(desktop.is_menu_open()); // four clicks
}

// The redraw as the desktop loop describes it, step by step on the screen:
// white and red to blue, draw(), the pointer's first pixel, draw() again,
// the rest of the pointer.
std::vector<u8> step_by_step(Desktop& desktop, u8* window, i32 x, i32 y)
{
    auto& screen = desktop.screen();
    for (u32 i = 0; i < 64000; ++i)
        if (window[i] == White || window[i] == Red)
            window[i] = Blue;
    EXPECT_FALSE(desktop.draw().is_error());
    EXPECT_FALSE(screen.set_pixel(x, y, White).is_error());
    EXPECT_FALSE(desktop.draw().is_error());
    for (auto [dx, dy] : { std::pair { 0, 1 }, { 0, 2 }, { 1, 0 }, { 2, 0 }, { 2, 2 }, { 3, 2 }, { 2, 3 }, { 3, 3 },
             { 4, 3 }, { 4, 4 }, { 3, 4 } })
        EXPECT_FALSE(screen.set_pixel(x + dx, y + dy, White).is_error());
    return std::vector<u8>(window, window + 0x10000);
}

// The redraw keeps the desktop's picture between redraws; the screen must
// come out as the step-by-step procedure leaves it.
TEST_F(DesktopScreen, ARedrawGivesTheScreenOfTheStepByStepProcedure)
{
    auto scribble = [&] {
        for (u32 i = 0; i < 64000; ++i)
            window()[i] = static_cast<u8>((i * 2654435761u) >> 24) % 9; // includes white and red
    };
    struct Case {
        i32 x, y;
        bool menu_open;
        u8 hour;
    } const cases[] = { { 100, 100, false, 0x09 }, { 315, 5, false, 0x09 }, { 300, 195, true, 0x09 },
        { 319, 199, true, 0x23 }, { 60, 60, false, 0x23 } };
    for (auto const& c : cases) {
        desktop.set_menu_open(c.menu_open);
        clock.registers[0x04] = c.hour;
        scribble();
        auto expected = step_by_step(desktop, window(), c.x, c.y);
        scribble();
        desktop.screen().mark_all_dirty(); // written behind the screen's back
        ASSERT_FALSE(desktop.redraw(c.x, c.y).is_error());
        expect_same(std::vector<u8>(expected.begin(), expected.begin() + 64000), window());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), window())) << c.x << "," << c.y;
    }
}

// After the first redraw only the rows written since (the old pointer, the
// button's "Bonjour") are redone; the screen is still the step-by-step one.
TEST_F(DesktopScreen, LaterRedrawsRedoOnlyTouchedRowsAndStillMatch)
{
    ASSERT_FALSE(desktop.redraw(100, 100).is_error());
    struct Move {
        i32 x, y;
        bool click;
    } const moves[] = { { 200, 50, true }, { 10, 190, false }, { 315, 195, true }, { 120, 100, false } };
    for (auto const& move : moves) {
        if (move.click) {
            ASSERT_FALSE(desktop.press_launch_button().is_error());
        }
        std::vector<u8> before(window(), window() + 0x10000);
        ASSERT_FALSE(desktop.redraw(move.x, move.y).is_error());
        std::vector<u8> actual(window(), window() + 0x10000);
        std::copy(before.begin(), before.end(), window());
        auto expected = step_by_step(desktop, window(), move.x, move.y);
        EXPECT_EQ(expected, actual) << move.x << "," << move.y;
        std::copy(actual.begin(), actual.end(), window());
        // The reference drew everything; as after the real redraw, only the
        // pointer's rows count as touched.
        (void)desktop.screen().take_dirty_rows();
        for (i32 dy = 0; dy < 5; ++dy) {
            u32 offset = static_cast<u32>((move.y + dy) * 320 + move.x);
            ASSERT_FALSE(desktop.screen().set_pixel(move.x, move.y + dy, window()[offset]).is_error());
        }
    }
}
