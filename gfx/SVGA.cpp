#include "gfx/SVGA.h"

#include "gfx/Mouse.h"
#include "hal/Debugger.h"

Vec2 SVGA::res { 1300, 780 };
i32 GUI800x600::xold = 0;
i32 GUI800x600::yold = 0;

VMWareSVGAII& SVGA::svga()
{
    static VMWareSVGAII* driver = new VMWareSVGAII();
    return *driver;
}

ErrorOr<void> SVGA::setres(i32 width, i32 height)
{
    res = Vec2(width, height);
    return svga().SetMode(static_cast<u16>(width), static_cast<u16>(height), 32);
}

ErrorOr<void> SVGA::clear(u32 colour) { return svga().Clear(colour); }

ErrorOr<void> SVGA::set(i32 x, i32 y, u32 colour)
{
    return svga().SetPixel(static_cast<u16>(x), static_cast<u16>(y), colour);
}

ErrorOr<void> GUI800x600::Initialize()
{
    constexpr u32 Red = 0xFF0000;
    TRY(SVGA::setres(800, 600));
    TRY(SVGA::clear(Colors::DesktopBlueBackground));
    TRY(SVGA::set(10, 10, Red));
    TRY(SVGA::svga().SetPixel(15, 15, Red));

    auto* screen = new VMWareSVGAII();
    TRY(screen->SetMode(640, 480, 32));
    TRY(screen->Clear(Colors::DesktopBlueBackground));
    TRY(screen->SetPixel(15, 15, Red));

    Mouse::Initialize();
    xold = Mouse::X;
    yold = Mouse::Y;
    for (;;) {
        u32 seen = Mouse::Events;
        xold = Mouse::X;
        yold = Mouse::Y;
        screen->SetCursor(true, static_cast<u16>(xold), static_cast<u16>(yold));
        Debugger::Send("SVGA pointer at " + String::number(xold) + "," + String::number(yold));
        while (Mouse::X == xold && Mouse::Y == yold) {
            Mouse::WaitForEvent(seen);
            seen = Mouse::Events;
        }
    }
}
