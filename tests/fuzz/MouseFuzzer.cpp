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
    if (Mouse::x() < 0 || Mouse::x() > 319 || Mouse::y() < 0 || Mouse::y() > 199 || (Mouse::buttons() & ~7) != 0
        || Mouse::packet_bytes_taken() > 2) {
        std::fprintf(stderr, "mouse fuzzer: pointer (%d, %d), buttons %d, packet byte %u\n", Mouse::x(), Mouse::y(),
            Mouse::buttons(), Mouse::packet_bytes_taken());
        std::abort();
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(u8 const* data, size_t size)
{
    if (size < 2)
        return 0;
    static MouseMachine g_machine;
    Sim::clear_accesses();
    g_machine.mouse.commands.clear();
    g_machine.mouse.mouse_bytes.clear();
    // Every input starts from a fresh set-up, as a desktop does.
    Mouse::initialize();
    Mouse::reset(data[0] * 319 / 255, data[1] * 199 / 255);
    for (size_t i = 2; i < size; ++i) {
        g_machine.mouse.queue({ data[i] });
        g_machine.mouse.deliver();
        check();
    }
    return 0;
}
