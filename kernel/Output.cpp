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

ErrorOr<void> write_usage(String const& text)
{
    Console::set_background_color(ConsoleColor::Blue);
    TRY(Console::write_line(text));
    Console::set_background_color(ConsoleColor::Black);
    return {};
}

ErrorOr<void> write_error(String const& message)
{
    Console::set_background_color(ConsoleColor::Red);
    TRY(Console::write_line("ERROR: " + message));
    Console::set_background_color(ConsoleColor::Black);
    return {};
}
