#pragma once

#include "base/Types.h"

// Small value types and constants the desktop and the SVGA screen share.

struct Point {
    i32 X { 0 };
    i32 Y { 0 };
    constexpr Point() = default;
    constexpr Point(i32 x, i32 y)
        : X(x)
        , Y(y)
    {
    }
    static Point const zero;
};
inline constexpr Point Point::zero { 0, 0 };

struct Size {
    i32 Width { 0 };
    i32 Height { 0 };
    constexpr Size() = default;
    constexpr Size(i32 width, i32 height)
        : Width(width)
        , Height(height)
    {
    }
    static Size const Zero;
};
inline constexpr Size Size::Zero { 0, 0 };

struct Vec2 {
    i32 X { 0 };
    i32 Y { 0 };
    constexpr Vec2() = default;
    constexpr Vec2(i32 x, i32 y)
        : X(x)
        , Y(y)
    {
    }
    static Vec2 const sixtyfour;
    static Vec2 const zero;
};
inline constexpr Vec2 Vec2::sixtyfour { 64, 0 };
inline constexpr Vec2 Vec2::zero { 0, 0 };

struct Colors {
    // 24-bit RGB.
    static constexpr u32 DesktopBlueBackground = 0x3D9FED;
};
