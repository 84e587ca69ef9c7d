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
    static void Bind(TextConsole& writer, Keyboard& keyboard);
    static TextConsole& Writer();

    static ErrorOr<void> Write(String const& text);
    static ErrorOr<void> Write(char16_t c);
    static ErrorOr<void> WriteLine(String const& text);
    static void WriteLine();
    static void Clear();

    static ConsoleColor ForegroundColor();
    static ConsoleColor BackgroundColor();
    static void SetForegroundColor(ConsoleColor color);
    static void SetBackgroundColor(ConsoleColor color);
    static void SetForegroundColor(u8 color) { SetForegroundColor(static_cast<ConsoleColor>(color)); }
    static void SetBackgroundColor(u8 color) { SetBackgroundColor(static_cast<ConsoleColor>(color)); }

    static i32 CursorLeft();
    static i32 CursorTop();
    static void SetCursorLeft(i32 x);
    static void SetCursorTop(i32 y);
    static constexpr i32 WindowWidth() { return TextScreen::Cols; }
    static constexpr i32 WindowHeight() { return TextScreen::Rows; }

    // The line editor: insert, Left, Right and Backspace until Enter.
    static ErrorOr<String> ReadLine();
    static ErrorOr<ConsoleKeyInfo> ReadKey(bool intercept = false);
};
