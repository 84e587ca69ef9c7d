#include "gfx/SvgaPointerScreen.h"

#include "gfx/DesktopTypes.h"
#include "gfx/Mouse.h"
#include "hal/Debugger.h"

ErrorOr<void> SvgaPointerScreen::run()
{
    constexpr u32 Red = 0xFF0000;
    // An 800x600 screen with two red test pixels comes first; the 640x480
    // one with its single red pixel is the one that stays.
    TRY(m_adapter.set_mode(800, 600, 32));
    TRY(m_adapter.clear(Colors::DesktopBlueBackground));
    TRY(m_adapter.set_pixel(10, 10, Red));
    TRY(m_adapter.set_pixel(15, 15, Red));

    TRY(m_adapter.set_mode(640, 480, 32));
    TRY(m_adapter.clear(Colors::DesktopBlueBackground));
    TRY(m_adapter.set_pixel(15, 15, Red));

    Mouse::initialize();
    for (;;) {
        u32 seen = Mouse::events();
        i32 x = Mouse::x();
        i32 y = Mouse::y();
        m_adapter.set_cursor(true, static_cast<u16>(x), static_cast<u16>(y));
        Debugger::send("SVGA pointer at " + String::number(x) + "," + String::number(y));
        while (Mouse::x() == x && Mouse::y() == y) {
            Mouse::wait_for_event(seen);
            seen = Mouse::events();
        }
    }
}
