#pragma once

// A simulated PC for unit tests of everything that prints or reads keys: a
// text screen at 0xB8000, the console bound to it, and a keyboard whose
// scan codes come from a script. Whenever the code under test halts to wait
// for an interrupt, the next scripted scan code is delivered through IRQ 1;
// when the script is used up, or the machine was reset through the keyboard
// controller, the halt throws Sim::Stopped, which ends loops that never
// return.

#include "hal/Console.h"
#include "tests/sim/Sim.h"

#include <deque>
#include <span>
#include <string>

class TestMachine {
public:
    TestMachine();
    ~TestMachine();

    // Scan codes to deliver, one per halt (make codes; add 0x80 for a release).
    void scancodes(std::initializer_list<u8> codes) { scancodes(std::span<u8 const>(codes.begin(), codes.size())); }
    void scancodes(std::span<u8 const> codes);
    // Types text: letters, digits, space, punctuation of the default map and
    // '\n' for Enter; upper case and shifted symbols are sent with Shift held.
    void type(std::string const& text);
    // One key press and release by its scan code.
    void press(u8 scancode);
    // Delivers every queued scan code now, without waiting for a halt.
    void deliver_all();
    size_t pending() const { return m_codes.size(); }

    // The text of a screen row (80 characters, cell bytes as Latin-1).
    std::string row(int y) const;
    // The row with trailing blanks removed.
    std::string line(int y) const;
    u8 character(int x, int y) const;
    u8 attribute(int x, int y) const;
    // Every row joined with '\n', trailing blanks removed.
    std::string screen() const;

    TextScreen& text_screen() { return m_screen; }
    TextConsole& writer() { return m_writer; }
    Keyboard& keyboard() { return *m_keyboard; }

    // Scan codes of the default key map.
    static constexpr u8 Enter = 0x1C;
    static constexpr u8 Backspace = 0x0E;
    static constexpr u8 Escape = 0x01;
    static constexpr u8 Left = 0x4B;
    static constexpr u8 Right = 0x4D;
    static constexpr u8 Up = 0x48;
    static constexpr u8 Down = 0x50;
    static constexpr u8 LeftShift = 0x2A;
    static constexpr u8 Control = 0x1D;
    static constexpr u8 Alt = 0x38;
    static constexpr u8 Delete = 0x53;
    static constexpr u8 F1 = 0x3B;
    static constexpr u8 F2 = 0x3C;
    static constexpr u8 F4 = 0x3E;

private:
    class KeyboardController;
    void deliver_next();

    // Resets the simulated machine before any device below maps its memory.
    Sim::FreshMachine m_fresh;
    TextScreen m_screen;
    TextConsole m_writer;
    Keyboard* m_keyboard;
    std::deque<u8> m_codes;
    std::unique_ptr<KeyboardController> m_controller;
};
