#include "hal/Console.h"

namespace {
TextConsole* g_writer = nullptr;
Keyboard* g_keyboard = nullptr;
// The colour state of the facade (ConsoleImpl): white on black at start.
ConsoleColor g_foreground = ConsoleColor::White;
ConsoleColor g_background = ConsoleColor::Black;

void apply_colors() { g_writer->screen().set_colors(static_cast<u8>(g_foreground), static_cast<u8>(g_background)); }
}

void Console::bind(TextConsole& writer, Keyboard& keyboard)
{
    g_writer = &writer;
    g_keyboard = &keyboard;
    g_foreground = ConsoleColor::White;
    g_background = ConsoleColor::Black;
}

TextConsole& Console::writer() { return *g_writer; }

ErrorOr<void> Console::write(String const& text) { return g_writer->write(text); }
ErrorOr<void> Console::write(char16_t c) { return g_writer->write_char(c); }

ErrorOr<void> Console::write_line(String const& text)
{
    TRY(g_writer->write(text));
    g_writer->new_line();
    return {};
}

void Console::write_line() { g_writer->new_line(); }
void Console::clear() { g_writer->clear(); }

ConsoleColor Console::foreground_color() { return g_foreground; }
ConsoleColor Console::background_color() { return g_background; }

void Console::set_foreground_color(ConsoleColor color)
{
    g_foreground = color;
    apply_colors();
}

void Console::set_background_color(ConsoleColor color)
{
    g_background = color;
    apply_colors();
}

i32 Console::cursor_left() { return g_writer->x(); }
i32 Console::cursor_top() { return g_writer->y(); }
void Console::set_cursor_left(i32 x) { g_writer->set_x(x); }
void Console::set_cursor_top(i32 y) { g_writer->set_y(y); }

namespace {

// Screen position of character `index` of a line that started at the linear
// cell `start`, following the screen as it scrolls.
struct LinePosition {
    i32 start;
    u32 scrolls;

    void place(TextConsole& writer, size_t index) const
    {
        i32 shifted = start - static_cast<i32>((writer.scroll_count() - scrolls) * TextScreen::Cols);
        i32 cell = shifted + static_cast<i32>(index);
        if (cell < 0)
            cell = 0;
        writer.set_y(cell / TextScreen::Cols);
        writer.set_x(cell % TextScreen::Cols);
    }
};

}

ErrorOr<String> Console::read_line()
{
    TextConsole& writer = *g_writer;
    LinePosition line { writer.y() * TextScreen::Cols + writer.x(), writer.scroll_count() };
    String buffer;
    size_t p = 0;
    for (;;) {
        char16_t c = g_keyboard->read_char();
        if (c == u'\n') {
            line.place(writer, buffer.length());
            write_line();
            return buffer;
        }
        if (c == KeyChar::Backspace) {
            if (p == 0)
                continue;
            buffer.remove(p - 1);
            --p;
            line.place(writer, p);
            TRY(writer.write(buffer.substring(p) + u' '));
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
            TRY(writer.write_char(buffer[i]));
        line.place(writer, ++p);
    }
}

ErrorOr<ConsoleKeyInfo> Console::read_key(bool intercept)
{
    KeyMapping mapping = g_keyboard->read_mapping();
    ConsoleKeyInfo info { mapping.value, mapping.key, g_keyboard->shift_pressed(), g_keyboard->alt_pressed(),
        g_keyboard->ctrl_pressed() };
    if (!intercept)
        TRY(write(info.key_char));
    return info;
}
