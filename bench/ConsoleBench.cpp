#include "bench/Bench.h"

#include "hal/Console.h"
#include "hal/MemoryWindow.h"

// Text output against the plainest way to fill the same cells: 1,000 32-bit
// stores into text memory per screen. The console fills a screen with lines
// (each string moves the hardware cursor once) and, for comparison, with
// the same characters one call each (every call moves the cursor: four port
// writes). A scroll moves 24 rows up and blanks the last: it rewrites the
// whole screen, so one raw screen is its floor too.

namespace {
constexpr u32 Screens = 20;
constexpr i32 Rows = TextScreen::Rows;
constexpr i32 Cols = TextScreen::Cols;
}

void Bench::run_console_benchmarks()
{
    MemoryWindow text(TextScreen::TextMemory, TextScreen::TextMemorySize);
    Stopwatch raw;
    for (u32 screen = 0; screen < Screens; ++screen) {
        if (!check(text.fill32(0, 0x0F410F41u + screen, TextScreen::TextMemorySize / 4), "raw text fill"))
            return;
    }
    report("console.raw_screen", raw.elapsed_microseconds() / Screens, "us");

    // 25 rows of 80 characters, the last row without its line break so
    // nothing scrolls.
    String line = String::repeated(u'x', Cols);
    u64 elapsed = 0;
    for (u32 screen = 0; screen < Screens; ++screen) {
        Console::clear();
        Stopwatch lines;
        for (i32 row = 0; row < Rows - 1; ++row) {
            if (!check(Console::write(line), "console line"))
                return;
        }
        if (!check(Console::write(line.substring(1)), "console line"))
            return;
        elapsed += lines.elapsed_microseconds();
    }
    report("console.screen_of_lines", elapsed / Screens, "us", "console.raw_screen");

    elapsed = 0;
    for (u32 screen = 0; screen < Screens; ++screen) {
        Console::clear();
        Stopwatch chars;
        for (i32 cell = 0; cell < Rows * Cols - 1; ++cell) {
            if (!check(Console::write(u'y'), "console character"))
                return;
        }
        elapsed += chars.elapsed_microseconds();
    }
    report("console.screen_char_by_char", elapsed / Screens, "us", "console.raw_screen");

    Console::set_cursor_top(Rows - 1);
    Stopwatch scrolls;
    for (u32 screen = 0; screen < Screens; ++screen)
        Console::write_line();
    report("console.scroll", scrolls.elapsed_microseconds() / Screens, "us", "console.raw_screen");
    Console::clear();
}
