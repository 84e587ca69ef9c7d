#pragma once

#include "hal/MemoryWindow.h"

// The 80x25 colour text frame buffer at 0xB8000 and the CRT controller's
// hardware cursor.
class TextScreen {
public:
    static constexpr i32 Cols = 80;
    static constexpr i32 Rows = 25;
    static constexpr u32 TextMemory = 0xB8000;
    static constexpr u32 TextMemorySize = Cols * Rows * 2;
    // A cleared cell is a space on black: black whatever the colours, and a
    // blank on every display, terminal ones included (those draw the
    // character of a black cell too).
    static constexpr u16 ClearCell = 0x0020;

    TextScreen();

    void clear();
    // Spaces in the current attribute everywhere (clear() is black).
    void clear_in_current_colors();
    void scroll_up();
    void set_colors(u8 foreground, u8 background);
    u8 attribute() const { return m_attribute; }
    void set_cursor_pos(i32 x, i32 y);
    // Stores the low 8 bits of c with the current attribute at (x, y).
    ErrorOr<void> set_char(i32 x, i32 y, char16_t c);
    // Character and attribute of a cell, for tests and the panic screen.
    u16 cell(i32 x, i32 y) const;

private:
    MemoryWindow m_memory;
    u8 m_attribute { 0x0F };
};
