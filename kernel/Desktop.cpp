#include "kernel/Desktop.h"

#include "base/Endian.h"
#include "gfx/Draw.h"
#include "gfx/Font.h"
#include "gfx/Mouse.h"
#include "gfx/SysColors.h"
#include "hal/Power.h"
#include "hal/Time.h"

namespace {

using C = SysColors::Index;

struct Pixel {
    i32 x, y;
};

// The pointer is drawn at the mouse position first, then these around it.
Pixel const PointerRest[11]
    = { { 0, 1 }, { 0, 2 }, { 1, 0 }, { 2, 0 }, { 2, 2 }, { 3, 2 }, { 2, 3 }, { 3, 3 }, { 4, 3 }, { 4, 4 }, { 3, 4 } };
// The pointer counts as intact when these all show white.
Pixel const PointerProbe[10]
    = { { 0, 0 }, { 0, 1 }, { 0, 2 }, { 2, 2 }, { 3, 2 }, { 2, 3 }, { 3, 3 }, { 4, 3 }, { 4, 4 }, { 3, 4 } };

Pixel const IconShadow[] = { { 310, 8 }, { 311, 7 }, { 312, 6 }, { 313, 5 }, { 313, 4 }, { 313, 3 }, { 313, 2 },
    { 314, 2 }, { 314, 5 }, { 315, 5 }, { 316, 5 }, { 316, 4 } };
Pixel const IconLight[] = { { 310, 7 }, { 311, 6 }, { 312, 5 }, { 312, 4 }, { 312, 3 }, { 312, 2 }, { 312, 1 },
    { 313, 1 }, { 314, 1 }, { 314, 4 }, { 315, 4 }, { 315, 3 }, { 316, 3 } };

// Single pixels of the word DOS on the top-left button; its straight
// strokes are drawn as blocks.
Pixel const DosPixels[] = { { 3, 2 }, { 4, 3 }, { 5, 4 }, { 6, 5 }, { 6, 6 }, { 5, 7 }, { 3, 8 }, { 4, 8 }, { 14, 3 },
    { 14, 4 }, { 15, 5 }, { 16, 5 }, { 17, 6 }, { 18, 7 }, { 14, 7 }, { 18, 3 } };
struct Block {
    u32 x0, y0, x1, y1;
};
Block const DosStrokes[] = { { 2, 2, 2, 8 }, { 9, 2, 11, 2 }, { 9, 8, 11, 8 }, { 8, 3, 8, 7 }, { 12, 3, 12, 7 },
    { 15, 2, 17, 2 }, { 15, 8, 17, 8 } };

ErrorOr<void> plot(VGAScreen& screen, Pixel const* pixels, size_t count, u32 colour, i32 dx = 0, i32 dy = 0)
{
    for (size_t i = 0; i < count; ++i)
        TRY(screen.set_pixel(static_cast<u32>(pixels[i].x + dx), static_cast<u32>(pixels[i].y + dy), colour));
    return {};
}

template<size_t N>
ErrorOr<void> plot(VGAScreen& screen, Pixel const (&pixels)[N], u32 colour, i32 dx = 0, i32 dy = 0)
{
    return plot(screen, pixels, N, colour, dx, dy);
}

ErrorOr<bool> pointer_intact(VGAScreen& screen, i32 x, i32 y)
{
    for (auto const& p : PointerProbe) {
        if (TRY(screen.get_pixel(static_cast<u32>(x + p.x), static_cast<u32>(y + p.y))) != C::White)
            return false;
    }
    return true;
}

ErrorOr<void> draw_pointer(VGAScreen& screen, i32 x, i32 y, u32 colour)
{
    TRY(screen.set_pixel(static_cast<u32>(x), static_cast<u32>(y), colour));
    return plot(screen, PointerRest, colour, x, y);
}

constexpr u32 ScreenBytes = 320 * 200;
constexpr u32 ScreenRows = 200;
constexpr u32 RowWords = 320 / 4;

// Every white (1) and red (6) byte of a word becomes background blue. Most
// words have neither: one test of all four bytes at once lets them through.
u32 erase_white_and_red(u32 word)
{
    u32 white = word ^ (0x01010101u * C::White);
    u32 red = word ^ (0x01010101u * C::Red);
    if (!((((white - 0x01010101u) & ~white) | ((red - 0x01010101u) & ~red)) & 0x80808080u))
        return word;
    for (u32 shift = 0; shift < 32; shift += 8) {
        u32 pixel = (word >> shift) & 0xFF;
        if (pixel == C::White || pixel == C::Red)
            word = (word & ~(0xFFu << shift)) | (static_cast<u32>(C::Blue) << shift);
    }
    return word;
}

// A 16 x 4 bar sprite drawn under the top bar.
// clang-format off
u32 const BarSprite[64] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0,
    0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0,
    0, 0xFFFFFF, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0,
    0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xFFFFFF, 0,
};
// clang-format on

}

ErrorOr<void> Desktop::build_layer()
{
    // Drawn off screen twice, over two different backgrounds: where the
    // two pictures agree, draw() has drawn.
    ByteBuffer first, second;
    first.resize(0x10000);
    second.resize(0x10000);
    for (u32 i = 0; i < 0x10000; ++i) {
        first[i] = 0x5A;
        second[i] = 0xA5;
    }
    m_screen.set_target(&first);
    auto drawn = draw();
    m_screen.set_target(&second);
    auto again = draw();
    m_screen.set_target(nullptr);
    TRY(std::move(drawn));
    TRY(std::move(again));
    m_layer.pixels.resize(ScreenBytes / 4);
    m_layer.mask.resize(ScreenBytes / 4);
    for (u32 offset = 0; offset < ScreenBytes; offset += 4) {
        u32 a = read_le32(first, offset), b = read_le32(second, offset);
        u32 mask = 0;
        for (u32 shift = 0; shift < 32; shift += 8) {
            if (((a ^ b) >> shift & 0xFF) == 0)
                mask |= 0xFFu << shift;
        }
        m_layer.mask[offset / 4] = mask;
        m_layer.pixels[offset / 4] = a & mask;
    }
    return {};
}

ErrorOr<void> Desktop::run()
{
    VGAScreen& screen = m_screen;
    SysColors::init_colors();
    Mouse::initialize();
    screen.set_mode320x200x8();
    TRY(screen.clear(C::Blue));
    m_pointer_at_start = Point(Mouse::x(), Mouse::y());

    // Each pass sleeps until the mouse interrupt has run again, unless it
    // redrew: the screen can only need work after the mouse changed.
    for (;;) {
        u32 seen = Mouse::events();
        if (Mouse::x() == m_pointer_at_start.x && Mouse::y() == m_pointer_at_start.y) {
            Mouse::wait_for_event(seen);
            continue;
        }
        i32 x = Mouse::x();
        i32 y = Mouse::y();
        switch (Mouse::buttons()) {
        case 0:
            if (TRY(pointer_intact(screen, x, y))) {
                Mouse::wait_for_event(seen);
                break;
            }
            TRY(redraw(x, y));
            break;
        case 1:
            // Held down, the button clicks again on every pass.
            TRY(draw_pointer(screen, x, y, C::Red));
            TRY(click(static_cast<u32>(x), static_cast<u32>(y)));
            Mouse::wait_for_event(seen);
            break;
        default:
            Mouse::wait_for_event(seen);
            break;
        }
    }
}

// The same screen as: every white and red pixel set to blue, draw(), the
// pointer's first pixel, draw() again, the rest of the pointer. draw() only
// changes with the panel and the clock, so its picture is kept; the
// rows already showing it need nothing, so only the rows written since the
// last redraw (the old pointer, "Bonjour") are done, in one pass of 32-bit
// words. A new picture redoes the whole screen.
ErrorOr<void> Desktop::redraw(i32 x, i32 y)
{
    VGAScreen& screen = m_screen;
    String clock = Time::twenty_four_hour_to_string();
    auto rows = screen.take_dirty_rows();
    if (!m_layer.valid || m_layer.menu_open != m_menu_open || m_layer.clock != clock) {
        m_layer.valid = false;
        TRY(build_layer());
        m_layer.menu_open = m_menu_open;
        m_layer.clock = clock;
        m_layer.valid = true;
        rows = { 0, ScreenRows - 1 };
    }
    if (rows.last >= ScreenRows)
        rows.last = ScreenRows - 1;

    if (!rows.empty()) {
        u32 const* masks = m_layer.mask.data() + rows.first * RowWords;
        u32 const* desk = m_layer.pixels.data() + rows.first * RowWords;
        TRY(VGAScreen::framebuffer().update32(
            rows.first * RowWords * 4, (rows.last - rows.first + 1) * RowWords, [desk, masks](u32 word, u32 old) {
                // Most of the screen is plain background outside the
                // desktop's drawing: nothing to do there.
                if (old == 0x01010101u * C::Blue && !masks[word])
                    return old;
                return desk[word] | (erase_white_and_red(old) & ~masks[word]);
            }));
    }
    u32 first = static_cast<u32>(y) * 320 + static_cast<u32>(x);
    if (first >= ScreenBytes || !(m_layer.mask[first / 4] >> (first % 4 * 8) & 0xFF))
        TRY(screen.set_pixel(static_cast<u32>(x), static_cast<u32>(y), C::White));
    return plot(screen, PointerRest, C::White, x, y);
}

ErrorOr<void> Desktop::draw()
{
    VGAScreen& screen = m_screen;
    // Top and bottom bars.
    TRY(screen.fill_rectangle(0, 0, 319, 0, C::Orange));
    TRY(screen.fill_rectangle(0, 10, 319, 10, C::Orange));
    TRY(Draw::circle_sd(screen, 50, 50, 10));
    TRY(screen.fill_rectangle(0, 188, 319, 188, C::Orange));
    TRY(screen.fill_rectangle(0, 199, 319, 199, C::Orange));
    TRY(screen.fill_rectangle(0, 189, 30, 198, C::Aquamarine));
    TRY(screen.fill_rectangle(31, 189, 31, 198, C::Orange));
    TRY(Font::draw_text(screen, 1, 191, "LAUNCH", C::TextBlack));
    TRY(Font::draw_text(screen, 50, 20, "ABCDEFGHIJKLMNOPQRSTUVWXYZ:A/B\\", C::TextBlack));

    // The DOS button.
    TRY(screen.fill_rectangle(0, 1, 21, 9, C::Aquamarine));
    for (auto const& stroke : DosStrokes)
        TRY(screen.fill_rectangle(stroke.x0, stroke.y0, stroke.x1, stroke.y1, C::Yellow));
    TRY(plot(screen, DosPixels, C::Yellow));
    TRY(screen.fill_rectangle(22, 1, 22, 9, C::Orange));
    TRY(screen.fill_rectangle(283, 1, 283, 9, C::Orange));

    // The clock, read at every redraw.
    TRY(screen.fill_rectangle(284, 1, 306, 9, C::Yellow));
    String time = Time::twenty_four_hour_to_string();
    if (RTC::hour() > 9) {
        TRY(Font::draw_text(screen, 285, 2, time, C::TextBlack));
    } else {
        TRY(Font::draw_text(screen, 285, 2, "0", C::TextBlack));
        TRY(Font::draw_text(screen, 290, 2, time, C::TextBlack));
    }

    // The panel under the top-right button.
    if (m_menu_open) {
        TRY(screen.fill_rectangle(307, 10, 307, 19, C::DarkOrange));
        TRY(screen.fill_rectangle(307, 20, 319, 20, C::DarkOrange));
        TRY(screen.fill_rectangle(308, 11, 319, 19, C::Red));
    } else {
        TRY(screen.fill_rectangle(307, 10, 319, 29, C::Blue));
    }
    TRY(screen.fill_rectangle(307, 1, 307, 9, C::DarkOrange));
    TRY(screen.fill_rectangle(308, 1, 319, 9, C::Aquamarine));
    TRY(plot(screen, IconShadow, C::Gray));
    TRY(plot(screen, IconLight, C::LightGray));

    return Draw::frame(screen, BarSprite, 16, 4, 10, 20);
}

ErrorOr<void> Desktop::click(u32 x, u32 y)
{
    if (x >= 1 && x <= 21 && y >= 2 && y <= 8) {
        m_skip_boot_question = true;
        Power::restart_through_keyboard_controller();
        return {};
    }
    if (m_launch_button.contains(static_cast<i32>(x), static_cast<i32>(y)))
        return press_launch_button();
    if (x >= 308 && y >= 1 && y <= 9)
        m_menu_open = !m_menu_open;
    return {};
}

ErrorOr<void> Desktop::press_launch_button() { return Font::draw_text(m_screen, 150, 180, "Bonjour", C::White); }
