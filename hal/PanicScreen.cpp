#include "hal/PanicScreen.h"

#include "arch/Cpu.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/MemoryWindow.h"

namespace {
char const* const Heading
    = "A problem has been detected and Tessary has been shut down to prevent damage to your computer.\n";
char const* const Explanation
    = "\r\nIf this is the first time you've seen this Stop error screen, \r\nrestart you computer. If this screen "
      "appears again follow\r\nthese steps:\r\n\r\nCheck to make sure any new hardware is properly "
      "installed.\r\nIf this is a new installation, check your hardware to see if it is \r\ncompatible with your "
      "computer's BIOS.\r\n\r\nIf problems continue, disable or remove any newly installed hardware. \r\nDisable "
      "BIOS memory options such as caching or shadowing.";
}

void PanicScreen::panic(char const* message)
{
    // A console of its own on the stack: no heap, and no need for the
    // system's console to have been set up.
    TextScreen screen;
    TextConsole console(screen);
    screen.set_colors(static_cast<u8>(ConsoleColor::White), static_cast<u8>(ConsoleColor::DarkBlue));
    console.clear();
    // 26 rows of spaces: the screen scrolls twice, so rows 0-23 end blue and
    // the freshly blanked row 24 black.
    for (int i = 0; i < 0x820; ++i)
        (void)console.write_char(u' ');
    console.set_x(0);
    console.set_y(0);
    for (char const* line : { Heading, message, Explanation }) {
        (void)console.write(line);
        console.new_line();
    }
    Debugger::send({ "PANIC: ", message });
    Cpu::halt_forever();
}

void panic(char const* message) { PanicScreen::panic(message); }

void PanicScreen::write_raw_line(char const* text, u8 attribute)
{
    MemoryWindow memory(TextScreen::TextMemory, TextScreen::TextMemorySize);
    for (u32 i = 0; text[i]; ++i)
        (void)memory.write16(i * 2, static_cast<u16>(static_cast<u8>(text[i]) | (attribute << 8)));
    Debugger::send({ text });
}
