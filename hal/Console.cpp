#include "hal/Console.h"

namespace {
TextConsole* s_writer = nullptr;
Keyboard* s_keyboard = nullptr;
// The colour state of the facade (ConsoleImpl): white on black at start.
ConsoleColor s_foreground = ConsoleColor::White;
ConsoleColor s_background = ConsoleColor::Black;

void apply_colors()
{
    s_writer->Screen().SetColors(static_cast<u8>(s_foreground), static_cast<u8>(s_background));
}
}

void Console::Bind(TextConsole& writer, Keyboard& keyboard)
{
    s_writer = &writer;
    s_keyboard = &keyboard;
    s_foreground = ConsoleColor::White;
    s_background = ConsoleColor::Black;
}

TextConsole& Console::Writer() { return *s_writer; }

ErrorOr<void> Console::Write(String const& text) { return s_writer->Write(text); }
ErrorOr<void> Console::Write(char16_t c) { return s_writer->WriteChar(c); }

ErrorOr<void> Console::WriteLine(String const& text)
{
    TRY(s_writer->Write(text));
    s_writer->NewLine();
    return {};
}

void Console::WriteLine() { s_writer->NewLine(); }
void Console::Clear() { s_writer->Clear(); }

ConsoleColor Console::ForegroundColor() { return s_foreground; }
ConsoleColor Console::BackgroundColor() { return s_background; }

void Console::SetForegroundColor(ConsoleColor color)
{
    s_foreground = color;
    apply_colors();
}

void Console::SetBackgroundColor(ConsoleColor color)
{
    s_background = color;
    apply_colors();
}

i32 Console::CursorLeft() { return s_writer->X(); }
i32 Console::CursorTop() { return s_writer->Y(); }
void Console::SetCursorLeft(i32 x) { s_writer->SetX(x); }
void Console::SetCursorTop(i32 y) { s_writer->SetY(y); }

namespace {

// Screen position of character `index` of a line that started at the linear
// cell `start`, following the screen as it scrolls.
struct LinePosition {
    i32 start;
    u32 scrolls;

    void place(TextConsole& writer, size_t index) const
    {
        i32 shifted = start - static_cast<i32>((writer.ScrollCount() - scrolls) * TextScreen::Cols);
        i32 cell = shifted + static_cast<i32>(index);
        if (cell < 0)
            cell = 0;
        writer.SetY(cell / TextScreen::Cols);
        writer.SetX(cell % TextScreen::Cols);
    }
};

}

ErrorOr<String> Console::ReadLine()
{
    TextConsole& writer = *s_writer;
    LinePosition line { writer.Y() * TextScreen::Cols + writer.X(), writer.ScrollCount() };
    String buffer;
    size_t p = 0;
    for (;;) {
        char16_t c = s_keyboard->ReadChar();
        if (c == u'\n') {
            line.place(writer, buffer.length());
            WriteLine();
            return buffer;
        }
        if (c == KeyChar::Backspace) {
            if (p == 0)
                continue;
            buffer.remove(p - 1);
            --p;
            line.place(writer, p);
            TRY(writer.Write(buffer.substring(p) + u' '));
            line.place(writer, p);
            continue;
        }
        if (c == KeyChar::LeftArrow) {
            if (p > 0)
                line.place(writer, --p);
            continue;
        }
        if (c == KeyChar::RightArrow) {
            if (p < buffer.length())
                line.place(writer, ++p);
            continue;
        }
        // Everything else is text, including Tab and the Up and Down arrow
        // characters; each cell shows the low byte of its character.
        buffer.insert(p, c);
        for (size_t i = p; i < buffer.length(); ++i)
            TRY(writer.WriteChar(buffer[i]));
        line.place(writer, ++p);
    }
}

ErrorOr<ConsoleKeyInfo> Console::ReadKey(bool intercept)
{
    KeyMapping mapping = s_keyboard->ReadMapping();
    ConsoleKeyInfo info { mapping.Value, mapping.Key, s_keyboard->ShiftPressed(), s_keyboard->AltPressed(),
        s_keyboard->CtrlPressed() };
    if (!intercept)
        TRY(Write(info.KeyChar));
    return info;
}
