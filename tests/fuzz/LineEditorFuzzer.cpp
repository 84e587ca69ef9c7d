// The input is a stream of keyboard scan codes, makes and releases alike,
// read the way the line editor TESSTEXT reads: a line, then one key, over
// and over until the stream ends. The first byte says how many of the codes
// were typed ahead, before anyone reads: they fill the key queue, up to
// overflowing it; the rest arrive one per wait.
//
// A finished line holds no editing keys and no line feed, and the cursor
// stays on the screen.

#include "kernel/Bootstrap.h"
#include "tests/sim/TestMachine.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(char const* what)
{
    std::fprintf(stderr, "line editor fuzzer: %s\n", what);
    std::abort();
}

void check_cursor()
{
    if (Console::cursor_left() < 0 || Console::cursor_left() >= Console::window_width() || Console::cursor_top() < 0
        || Console::cursor_top() >= Console::window_height())
        fail("the cursor left the screen");
}

void check_line(String const& line)
{
    for (char16_t c : line.chars()) {
        if (c == u'\n' || c == KeyChar::Backspace || c == KeyChar::LeftArrow || c == KeyChar::RightArrow)
            fail("an editing key ended up in the line");
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(u8 const* data, size_t size)
{
    if (size == 0)
        return 0;
    TestMachine machine;
    // Ctrl-Alt-Delete announces itself and restarts, as in the kernel.
    install_event_handlers();
    size_t ahead = data[0] < size - 1 ? data[0] : size - 1;
    machine.scancodes(std::span<u8 const>(data + 1, ahead));
    try {
        machine.deliver_all();
        machine.scancodes(std::span<u8 const>(data + 1 + ahead, size - 1 - ahead));
        for (;;) {
            auto line = Console::read_line();
            if (line.is_error())
                break;
            check_line(line.value());
            check_cursor();
            if (Console::read_key().is_error())
                break;
            check_cursor();
        }
    } catch (Sim::Stopped const&) {
        // The stream has ended, or Ctrl-Alt-Delete restarted the machine.
    }
    check_cursor();
    return 0;
}
