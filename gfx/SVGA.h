#pragma once

#include "gfx/DesktopTypes.h"
#include "gfx/VMWareSVGAII.h"

// A small static front end over one adapter driver.
class SVGA {
public:
    // The last requested resolution; (1300, 780) until setres.
    static Vec2 res;
    static VMWareSVGAII& svga();

    static ErrorOr<void> setres(i32 width, i32 height);
    static ErrorOr<void> clear(u32 colour);
    static ErrorOr<void> set(i32 x, i32 y, u32 colour);
};

// The pointer screen on the SVGA adapter: 640x480 in true colour with the
// adapter's own pointer following the mouse. Never returns.
class GUI800x600 {
public:
    static ErrorOr<void> Initialize();

    static i32 xold;
    static i32 yold;
};
