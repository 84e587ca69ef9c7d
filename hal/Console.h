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
class Console {
public:
    // Binds the facade to the system's writer and keyboard (done at start-up,
    // and by tests with their own).
    static void bind(TextConsole& writer, Keyboard& keyboard);
    static TextConsole& writer();

    static ErrorOr<void> write(String const& text);
    static ErrorOr<void> write(char16_t c);
    static ErrorOr<void> write_line(String const& text);
    static void write_line();
    static void clear();

    static ConsoleColor foreground_color();
    static ConsoleColor background_color();
    static void set_foreground_color(ConsoleColor color);
    static void set_background_color(ConsoleColor color);
    static void set_foreground_color(u8 color) { set_foreground_color(static_cast<ConsoleColor>(color)); }
    static void set_background_color(u8 color) { set_background_color(static_cast<ConsoleColor>(color)); }

    static i32 cursor_left();
    static i32 cursor_top();
    static void set_cursor_left(i32 x);
    static void set_cursor_top(i32 y);
    static constexpr i32 window_width() { return TextScreen::Cols; }
    static constexpr i32 window_height() { return TextScreen::Rows; }

    // The line editor: insert, Left, Right and Backspace until Enter.
    static ErrorOr<String> read_line();
    static ErrorOr<ConsoleKeyInfo> read_key(bool intercept = false);
};
