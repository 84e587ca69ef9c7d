#include "gfx/Draw.h"

#include "gfx/SysColors.h"
#include "gfx/Trig.h"
#include "gfx/VGA.h"
#include "gfx/VGAScreen.h"

namespace Draw {

ErrorOr<void> frame(VGAScreen& screen, u32 const* sprite, i32 width, i32 height, i32 x, i32 y)
{
    for (i32 row = 0; row < height; ++row) {
        for (i32 column = 0; column < width; ++column) {
            u32 value = *sprite++;
            if (value != Transparent)
                TRY(screen.set_pixel(static_cast<u32>(x + column), static_cast<u32>(y + row), value));
        }
    }
    return {};
}

ErrorOr<void> frame_color(VGAScreen& screen, u32 const* mask, i32 width, i32 height, i32 x, i32 y, i32 colour)
{
    for (i32 row = 0; row < height; ++row) {
        for (i32 column = 0; column < width; ++column) {
            if (*mask++ == 1)
                TRY(screen.set_pixel(
                    static_cast<u32>(x + column), static_cast<u32>(y + row), static_cast<u32>(colour)));
        }
    }
    return {};
}

ErrorOr<void> circle_sd(VGAScreen& screen, i32 x, i32 y, i32 radius)
{
    for (i32 i = 0; i < 360; ++i) {
        auto p = Trig::circle_point(x + radius, y + radius, radius, i);
        TRY(screen.set_pixel(static_cast<u32>(p.x), static_cast<u32>(p.y), SysColors::Magenta));
    }
    return {};
}

ErrorOr<void> circle_hd(i32 x, i32 y, i32 radius, u32 colour)
{
    for (i32 i = 0; i < 360; ++i) {
        auto p = Trig::circle_point(x + radius, y + radius, radius, i);
        TRY(VGA::set_pixel(static_cast<u32>(p.x), static_cast<u32>(p.y), colour));
    }
    return {};
}

}
