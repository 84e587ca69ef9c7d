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
};

struct Size {
    i32 Width { 0 };
    i32 Height { 0 };
    constexpr Size() = default;
    constexpr Size(i32 width, i32 height)
        : Width(width)
        , Height(height)
    {
    }
};

struct Colors {
    // 24-bit RGB.
    static constexpr u32 DesktopBlueBackground = 0x3D9FED;
};
