#pragma once

#include "hal/Keyboard.h"
#include "hal/TextConsole.h"

enum class ConsoleColor : u8 {
    Black = 0,
    DarkBlue = 1,
    DarkGreen = 2,
    DarkCyan = 3,
    DarkRed = 4,
    DarkMagenta = 5,
    DarkYellow = 6,
    Gray = 7,
    DarkGray = 8,
    Blue = 9,
    Green = 10,
    Cyan = 11,
    Red = 12,
    Magenta = 13,
    Yellow = 14,
    White = 15,
};

// The facade every part of the system prints and reads through.
namespace Console {
// Binds the facade to the system's writer and keyboard (done at start-up,
// and by tests with their own).
void bind(TextConsole& writer, Keyboard& keyboard);
TextConsole& writer();

ErrorOr<void> write(String const& text);
ErrorOr<void> write(char16_t c);
ErrorOr<void> write_line(String const& text);
void write_line();
void clear();

ConsoleColor foreground_color();
ConsoleColor background_color();
void set_foreground_color(ConsoleColor color);
void set_background_color(ConsoleColor color);
inline void set_foreground_color(u8 color) { set_foreground_color(static_cast<ConsoleColor>(color)); }
inline void set_background_color(u8 color) { set_background_color(static_cast<ConsoleColor>(color)); }

i32 cursor_left();
i32 cursor_top();
void set_cursor_left(i32 x);
void set_cursor_top(i32 y);
constexpr i32 window_width() { return TextScreen::Cols; }
constexpr i32 window_height() { return TextScreen::Rows; }

// The line editor: insert, Left, Right and Backspace until Enter.
ErrorOr<String> read_line();
ErrorOr<ConsoleKeyInfo> read_key(bool intercept = false);
}
