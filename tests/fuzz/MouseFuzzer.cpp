// The input is what the mouse sends once the driver has set it up: the
// first two bytes place the pointer, every further byte arrives on its own
// interrupt. Whatever arrives, the pointer stays on the 320x200 desktop,
// only the three button bits are reported, and the packet reader stays
// within its three bytes.

#include "gfx/Mouse.h"
#include "tests/sim/PS2Mouse.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct MouseMachine {
    Sim::FreshMachine fresh;
    PS2Mouse mouse;
};

void check()
{
    if (Mouse::X < 0 || Mouse::X > 319 || Mouse::Y < 0 || Mouse::Y > 199 || (Mouse::Buttons & ~7) != 0
        || Mouse::mouse_cycle > 2) {
        std::fprintf(stderr, "mouse fuzzer: pointer (%d, %d), buttons %d, packet byte %d\n", Mouse::X, Mouse::Y,
            Mouse::Buttons, Mouse::mouse_cycle);
        std::abort();
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(u8 const* data, size_t size)
{
    if (size < 2)
        return 0;
    static MouseMachine m;
    Sim::clear_accesses();
    m.mouse.commands.clear();
    m.mouse.mouse_bytes.clear();
    // Every input starts from a fresh set-up, as a desktop does.
    Mouse::Initialize();
    Mouse::X = data[0] * 319 / 255;
    Mouse::Y = data[1] * 199 / 255;
    Mouse::Buttons = 0;
    for (size_t i = 2; i < size; ++i) {
        m.mouse.queue({ data[i] });
        m.mouse.deliver();
        check();
    }
    return 0;
}
