#pragma once

#include "base/Types.h"

// Small value types and constants the desktop and the SVGA screen share.

struct Point {
    i32 x { 0 };
    i32 y { 0 };
    constexpr Point() = default;
    constexpr Point(i32 x, i32 y)
        : x(x)
        , y(y)
    {
    }
};

struct Size {
    i32 width { 0 };
    i32 height { 0 };
    constexpr Size() = default;
    constexpr Size(i32 width, i32 height)
        : width(width)
        , height(height)
    {
    }
};

namespace Colors {

// 24-bit RGB.
constexpr u32 DesktopBlueBackground = 0x3D9FED;

}
