#include "kernel/Output.h"

namespace {

ErrorOr<void> place_and_write(String const& text, ConsoleColor color, bool centre_x, bool centre_y, bool end_line)
{
    ConsoleColor previous = Console::foreground_color();
    Console::set_foreground_color(color);
    i32 column = Console::cursor_left();
    if (centre_x)
        Console::set_cursor_left(Console::window_width() / 2 - static_cast<i32>(text.length()) / 2);
    i32 row = Console::cursor_top();
    if (centre_y)
        Console::set_cursor_top(Console::window_height() / 2 - 1);
    auto written = end_line ? Console::write_line(text) : Console::write(text);
    if (centre_x)
        Console::set_cursor_left(column);
    if (centre_y)
        Console::set_cursor_top(row);
    Console::set_foreground_color(previous);
    return written;
}

}

ErrorOr<void> write_coloured(String const& text, ConsoleColor color)
{
    Console::set_foreground_color(color);
    auto written = Console::write(text);
    Console::set_foreground_color(ConsoleColor::White);
    return written;
}

ErrorOr<void> write_centred(String const& text, ConsoleColor color, bool centre_x, bool centre_y)
{
    return place_and_write(text, color, centre_x, centre_y, false);
}

ErrorOr<void> write_line_centred(String const& text, ConsoleColor color, bool centre_x, bool centre_y)
{
    return place_and_write(text, color, centre_x, centre_y, true);
}

ProgressBar::ProgressBar(i32 value, bool char_by_char)
    : m_char_by_char(char_by_char)
{
    set_value(value);
}

void ProgressBar::set_value(i32 value)
{
    if (value >= 0 && value <= 100)
        m_value = value;
}

ErrorOr<void> ProgressBar::increment()
{
    set_value(m_value + 1);
    return refresh();
}

ErrorOr<void> ProgressBar::draw()
{
    i32 row = Console::cursor_top();
    i32 column = Console::cursor_left();
    Console::write_line();
    TRY(Console::write("[" + String::repeated(u' ', TrackLength) + "] "));
    Console::set_cursor_left(column + 1);
    i32 filled = m_value / 2;
    if (m_char_by_char) {
        for (i32 i = 0; i < filled; ++i)
            TRY(Console::write(u'='));
    } else {
        TRY(Console::write(String::repeated(u'=', static_cast<size_t>(filled))));
    }
    Console::set_cursor_left(column + 54);
    String percent = String::number(m_value) + "%";
    // A bar set back to a shorter percentage blanks the digits the longer one
    // left; a bar that only grows writes nothing past its percentage.
    size_t stale = m_percent_width > percent.length() ? m_percent_width - percent.length() : 0;
    m_percent_width = percent.length();
    TRY(Console::write(percent + String::repeated(u' ', stale)));
    Console::set_cursor_top(row);
    Console::set_cursor_left(column);
    return {};
}
