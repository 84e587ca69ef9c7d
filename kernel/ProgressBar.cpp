#include "kernel/ProgressBar.h"

#include "hal/Console.h"

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
