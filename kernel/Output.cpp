#include "kernel/Output.h"

namespace {

ErrorOr<void> place_and_write(String const& text, ConsoleColor color, bool centreX, bool centreY, bool endLine)
{
    ConsoleColor previous = Console::ForegroundColor();
    Console::SetForegroundColor(color);
    i32 column = Console::CursorLeft();
    if (centreX)
        Console::SetCursorLeft(Console::WindowWidth() / 2 - static_cast<i32>(text.length()) / 2);
    i32 row = Console::CursorTop();
    if (centreY)
        Console::SetCursorTop(Console::WindowHeight() / 2 - 1);
    auto written = endLine ? Console::WriteLine(text) : Console::Write(text);
    if (centreX)
        Console::SetCursorLeft(column);
    if (centreY)
        Console::SetCursorTop(row);
    Console::SetForegroundColor(previous);
    return written;
}

}

ErrorOr<void> write_coloured(String const& text, ConsoleColor color)
{
    Console::SetForegroundColor(color);
    auto written = Console::Write(text);
    Console::SetForegroundColor(ConsoleColor::White);
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

ProgressBar::ProgressBar(i32 value, bool charByChar)
    : m_charByChar(charByChar)
{
    SetValue(value);
}

void ProgressBar::SetValue(i32 value)
{
    if (value >= 0 && value <= 100)
        m_value = value;
}

ErrorOr<void> ProgressBar::Increment()
{
    SetValue(m_value + 1);
    return Refresh();
}

ErrorOr<void> ProgressBar::Draw()
{
    i32 row = Console::CursorTop();
    i32 column = Console::CursorLeft();
    Console::WriteLine();
    TRY(Console::Write("[" + String::repeated(u' ', TrackLength) + "] "));
    Console::SetCursorLeft(column + 1);
    i32 filled = m_value / 2;
    if (m_charByChar) {
        for (i32 i = 0; i < filled; ++i)
            TRY(Console::Write(u'='));
    } else {
        TRY(Console::Write(String::repeated(u'=', static_cast<size_t>(filled))));
    }
    Console::SetCursorLeft(column + 54);
    String percent = String::number(m_value) + "%";
    // A bar set back to a shorter percentage blanks the digits the longer one
    // left; a bar that only grows writes nothing past its percentage.
    size_t stale = m_percentWidth > percent.length() ? m_percentWidth - percent.length() : 0;
    m_percentWidth = percent.length();
    TRY(Console::Write(percent + String::repeated(u' ', stale)));
    Console::SetCursorTop(row);
    Console::SetCursorLeft(column);
    return {};
}
