// The graphical desktop of the Kernel: 320x200 with 256 colours, fixed
// coordinates and palette indices, a pointer drawn in white, and a loop that
// redraws everything whenever the pointer has moved.

#include "gfx/Draw.h"
#include "gfx/Font.h"
#include "gfx/Mouse.h"
#include "gfx/SysColors.h"
#include "gfx/VGAScreen.h"
#include "gfx/VMWareSVGAII.h"
#include "hal/Power.h"
#include "hal/Time.h"
#include "kernel/Kernel.h"

namespace {

using C = SysColors::Index;

struct Pixel {
    i32 x, y;
};

// The pointer is drawn at the mouse position first, then these around it.
Pixel const PointerRest[11] = { { 0, 1 }, { 0, 2 }, { 1, 0 }, { 2, 0 }, { 2, 2 }, { 3, 2 }, { 2, 3 }, { 3, 3 },
    { 4, 3 }, { 4, 4 }, { 3, 4 } };
// The pointer counts as intact when these all show white.
Pixel const PointerProbe[10] = { { 0, 0 }, { 0, 1 }, { 0, 2 }, { 2, 2 }, { 3, 2 }, { 2, 3 }, { 3, 3 }, { 4, 3 },
    { 4, 4 }, { 3, 4 } };

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
        TRY(screen.SetPixel(static_cast<u32>(pixels[i].x + dx), static_cast<u32>(pixels[i].y + dy), colour));
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
        if (TRY(screen.GetPixel(static_cast<u32>(x + p.x), static_cast<u32>(y + p.y))) != C::White)
            return false;
    }
    return true;
}

ErrorOr<void> draw_pointer(VGAScreen& screen, i32 x, i32 y, u32 colour)
{
    TRY(screen.SetPixel(static_cast<u32>(x), static_cast<u32>(y), colour));
    return plot(screen, PointerRest, colour, x, y);
}

// What setDesk draws, for one state of the panel and the clock: the values,
// and a mask of 0xFF where setDesk draws at all. It is found by drawing the
// desktop off screen twice, over two different backgrounds.
struct DeskLayer {
    Vector<u32> pixels; // masked, four pixels a word
    Vector<u32> mask;
    bool menuOpen { false };
    String clock;
    bool valid { false };
};

constexpr u32 ScreenBytes = 320 * 200;
constexpr u32 ScreenRows = 200;
constexpr u32 RowWords = 320 / 4;

u32 word_at(ByteBuffer const& bytes, u32 offset)
{
    return static_cast<u32>(bytes[offset]) | static_cast<u32>(bytes[offset + 1]) << 8
        | static_cast<u32>(bytes[offset + 2]) << 16 | static_cast<u32>(bytes[offset + 3]) << 24;
}

ErrorOr<void> build_layer(Kernel& kernel, VGAScreen& screen, DeskLayer& layer)
{
    ByteBuffer first, second;
    first.resize(0x10000);
    second.resize(0x10000);
    for (u32 i = 0; i < 0x10000; ++i) {
        first[i] = 0x5A;
        second[i] = 0xA5;
    }
    screen.SetTarget(&first);
    auto drawn = kernel.setDesk();
    screen.SetTarget(&second);
    auto again = kernel.setDesk();
    screen.SetTarget(nullptr);
    TRY(std::move(drawn));
    TRY(std::move(again));
    layer.pixels.resize(ScreenBytes / 4);
    layer.mask.resize(ScreenBytes / 4);
    for (u32 offset = 0; offset < ScreenBytes; offset += 4) {
        u32 a = word_at(first, offset), b = word_at(second, offset);
        u32 mask = 0;
        for (u32 shift = 0; shift < 32; shift += 8) {
            if (((a ^ b) >> shift & 0xFF) == 0)
                mask |= 0xFFu << shift;
        }
        layer.mask[offset / 4] = mask;
        layer.pixels[offset / 4] = a & mask;
    }
    return {};
}

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

}

// clang-format off
u32 const Kernel::barSprite[64] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0,
    0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0,
    0, 0xFFFFFF, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0,
    0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xFFFFFF, 0,
};
// clang-format on

VGAScreen& Kernel::scr()
{
    static VGAScreen* screen = new VGAScreen();
    return *screen;
}

VMWareSVGAII& Kernel::svga()
{
    static VMWareSVGAII* driver = new VMWareSVGAII();
    return *driver;
}

ErrorOr<void> Kernel::initGui()
{
    VGAScreen& screen = scr();
    SysColors::InitColors(screen);
    Mouse::Initialize();
    screen.SetMode320x200x8();
    TRY(screen.Clear(C::Blue));
    lastMouseX = Mouse::X;
    lastMouseY = Mouse::Y;

    // Each pass sleeps until the mouse interrupt has run again, unless it
    // redrew: the screen can only need work after the mouse changed.
    for (;;) {
        u32 seen = Mouse::Events;
        if (Mouse::X == lastMouseX && Mouse::Y == lastMouseY) {
            Mouse::WaitForEvent(seen);
            continue;
        }
        i32 x = Mouse::X;
        i32 y = Mouse::Y;
        switch (Mouse::Buttons) {
        case 0:
            if (TRY(pointer_intact(screen, x, y))) {
                Mouse::WaitForEvent(seen);
                break;
            }
            TRY(RedrawDesktop(x, y));
            break;
        case 1:
            // Held down, the button clicks again on every pass.
            TRY(draw_pointer(screen, x, y, C::Red));
            TRY(OnClick(static_cast<u32>(x), static_cast<u32>(y)));
            Mouse::WaitForEvent(seen);
            break;
        default:
            Mouse::WaitForEvent(seen);
            break;
        }
    }
}

// The same screen as: every white and red pixel set to blue, setDesk, the
// pointer's first pixel, setDesk again, the rest of the pointer. setDesk
// only changes with the panel and the clock, so its picture is kept; the
// rows already showing it need nothing, so only the rows written since the
// last redraw (the old pointer, "Bonjour") are done, in one pass of 32-bit
// words. A new picture redoes the whole screen.
ErrorOr<void> Kernel::RedrawDesktop(i32 x, i32 y)
{
    static DeskLayer layer;
    VGAScreen& screen = scr();
    String clock = Time::TwentyFourHourToString();
    auto rows = screen.TakeDirtyRows();
    if (!layer.valid || layer.menuOpen != menuOpen || layer.clock != clock) {
        layer.valid = false;
        TRY(build_layer(*this, screen, layer));
        layer.menuOpen = menuOpen;
        layer.clock = clock;
        layer.valid = true;
        rows = { 0, ScreenRows - 1 };
    }
    if (rows.last >= ScreenRows)
        rows.last = ScreenRows - 1;

    if (!rows.empty()) {
        u32 const* masks = layer.mask.data() + rows.first * RowWords;
        u32 const* desk = layer.pixels.data() + rows.first * RowWords;
        TRY(VGAScreen::Framebuffer().update32(rows.first * RowWords * 4, (rows.last - rows.first + 1) * RowWords,
            [desk, masks](u32 word, u32 old) {
                // Most of the screen is plain background outside the
                // desktop's drawing: nothing to do there.
                if (old == 0x01010101u * C::Blue && !masks[word])
                    return old;
                return desk[word] | (erase_white_and_red(old) & ~masks[word]);
            }));
    }
    u32 first = static_cast<u32>(y) * 320 + static_cast<u32>(x);
    if (first >= ScreenBytes || !(layer.mask[first / 4] >> (first % 4 * 8) & 0xFF))
        TRY(screen.SetPixel(static_cast<u32>(x), static_cast<u32>(y), C::White));
    return plot(screen, PointerRest, C::White, x, y);
}

ErrorOr<void> Kernel::setDesk()
{
    VGAScreen& screen = scr();
    // Top and bottom bars.
    TRY(screen.FillRectangle(0, 0, 319, 0, C::Orange));
    TRY(screen.FillRectangle(0, 10, 319, 10, C::Orange));
    TRY(Draw::CircleSD(screen, 50, 50, 10));
    TRY(screen.FillRectangle(0, 188, 319, 188, C::Orange));
    TRY(screen.FillRectangle(0, 199, 319, 199, C::Orange));
    TRY(screen.FillRectangle(0, 189, 30, 198, C::Aquamarine));
    TRY(screen.FillRectangle(31, 189, 31, 198, C::Orange));
    TRY(Font::DrawText(screen, 1, 191, "LAUNCH", C::TextBlack));
    TRY(Font::DrawText(screen, 50, 20, "ABCDEFGHIJKLMNOPQRSTUVWXYZ:A/B\\", C::TextBlack));

    // The DOS button.
    TRY(screen.FillRectangle(0, 1, 21, 9, C::Aquamarine));
    for (auto const& stroke : DosStrokes)
        TRY(screen.FillRectangle(stroke.x0, stroke.y0, stroke.x1, stroke.y1, C::Yellow));
    TRY(plot(screen, DosPixels, C::Yellow));
    TRY(screen.FillRectangle(22, 1, 22, 9, C::Orange));
    TRY(screen.FillRectangle(283, 1, 283, 9, C::Orange));

    // The clock, read at every redraw.
    TRY(screen.FillRectangle(284, 1, 306, 9, C::Yellow));
    String time = Time::TwentyFourHourToString();
    if (RTC::Hour() > 9) {
        TRY(Font::DrawText(screen, 285, 2, time, C::TextBlack));
    } else {
        TRY(Font::DrawText(screen, 285, 2, "0", C::TextBlack));
        TRY(Font::DrawText(screen, 290, 2, time, C::TextBlack));
    }

    // The panel under the top-right button.
    if (menuOpen) {
        TRY(screen.FillRectangle(307, 10, 307, 19, C::DarkOrange));
        TRY(screen.FillRectangle(307, 20, 319, 20, C::DarkOrange));
        TRY(screen.FillRectangle(308, 11, 319, 19, C::Red));
    } else {
        TRY(screen.FillRectangle(307, 10, 319, 29, C::Blue));
    }
    TRY(screen.FillRectangle(307, 1, 307, 9, C::DarkOrange));
    TRY(screen.FillRectangle(308, 1, 319, 9, C::Aquamarine));
    TRY(plot(screen, IconShadow, C::Gray));
    TRY(plot(screen, IconLight, C::LightGray));

    return Draw::Frame(screen, barSprite, 16, 4, 10, 20);
}

ErrorOr<void> Kernel::OnClick(u32 x, u32 y)
{
    if (x >= 1 && x <= 21 && y >= 2 && y <= 8) {
        skipBootQuestion = true;
        Power::restart_through_keyboard_controller();
        return {};
    }
    if (desktopButton.Contains(static_cast<i32>(x), static_cast<i32>(y)))
        return BtnClick();
    if (x >= 308 && y >= 1 && y <= 9)
        menuOpen = !menuOpen;
    return {};
}

ErrorOr<void> Kernel::BtnClick() { return Font::DrawText(scr(), 150, 180, "Bonjour", C::White); }
