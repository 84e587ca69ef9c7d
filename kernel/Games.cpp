#include "kernel/Games.h"

#include "hal/Console.h"
#include "hal/Time.h"
#include "kernel/Output.h"

namespace {

// A turn-based snake: every key press is one turn, the arrows steer and any
// other key keeps going in the same direction, and Escape gives up. The head
// starts in the middle of the screen; the game is lost on the top row, on the
// left column, or one cell beyond the bottom or right edge. The snake is its
// last eight cells.
class Snake {
public:
    ErrorOr<void> start()
    {
        m_body.clear();
        m_body.append({ Console::window_width() / 2, Console::window_height() / 2 });
        while (!m_lose) {
            auto key = TRY(Console::read_key(true));
            if (key.key == ConsoleKey::Escape) {
                // The prompt comes back on an empty screen, not on the board.
                Console::clear();
                return {};
            }
            steer(key.key);
            if (m_direction == Direction::None) {
                TRY(draw());
                continue;
            }
            move();
            if (!m_lose)
                TRY(draw());
            m_score += 2;
        }
        return game_over();
    }

private:
    static constexpr size_t Length = 8;
    enum class Direction { None, Left, Right, Up, Down };
    struct Cell {
        i32 column;
        i32 row;
    };

    void steer(ConsoleKey key)
    {
        switch (key) {
        case ConsoleKey::LeftArrow:
            m_direction = Direction::Left;
            break;
        case ConsoleKey::RightArrow:
            m_direction = Direction::Right;
            break;
        case ConsoleKey::UpArrow:
            m_direction = Direction::Up;
            break;
        case ConsoleKey::DownArrow:
            m_direction = Direction::Down;
            break;
        default:
            break;
        }
    }

    void move()
    {
        Cell head = m_body.last();
        switch (m_direction) {
        case Direction::Up:
            m_lose = --head.row == 0;
            break;
        case Direction::Down:
            m_lose = ++head.row == Console::window_height();
            break;
        case Direction::Left:
            m_lose = --head.column == 0;
            break;
        case Direction::Right:
            m_lose = ++head.column == Console::window_width();
            break;
        case Direction::None:
            return;
        }
        m_body.append(head);
        if (m_body.size() > Length)
            m_body.remove(0);
    }

    ErrorOr<void> draw()
    {
        Console::clear();
        for (auto const& cell : m_body) {
            Console::set_cursor_top(cell.row);
            Console::set_cursor_left(cell.column);
            TRY(write_coloured("#", ConsoleColor::Green));
        }
        return {};
    }

    ErrorOr<void> game_over()
    {
        Console::clear();
        Console::set_cursor_top(Console::window_height() / 2 - 2);
        TRY(write_line_centred("YOU LOSE!", ConsoleColor::Red, true, false));
        Console::set_cursor_top(Console::cursor_top() + 1);
        return write_line_centred("Your score: " + String::number(m_score), ConsoleColor::White, true, false);
    }

    i32 m_score { 0 };
    bool m_lose { false };
    Direction m_direction { Direction::None };
    Vector<Cell> m_body;
};

ErrorOr<void> snake(Kernel&, Argument const&)
{
    Snake game;
    return game.start();
}

// Symbols rain down the screen while the system name stays in the middle.
ErrorOr<void> matrix(Kernel&, Argument const&)
{
    // Start on a second boundary, as the demonstration always has.
    RTC::wait_for_next_second();
    i32 a = 0;
    i32 b = 0;
    for (i32 pass = 0; pass < 10; ++pass) {
        for (i32 step = 0; step < Console::window_height() * Console::window_width(); ++step) {
            if (a == 11)
                a = 0;
            if (b == 4)
                b = 0;
            ++a;
            if (b == 3)
                TRY(write_coloured("*", ConsoleColor::Green));
            if (a == 2) {
                TRY(write_coloured(";", ConsoleColor::Red));
                ++b;
            }
            if (b == 1)
                TRY(write_coloured("+", ConsoleColor::Yellow));
            if (a == 4) {
                TRY(write_coloured("~", ConsoleColor::Blue));
                ++b;
            }
            if (b == 2)
                TRY(write_coloured("&", ConsoleColor::Cyan));
            TRY(write_centred("Tessary", ConsoleColor::White, true, true));
        }
    }
    return {};
}

// Colour of each "LOLZ" line, in order; the cycle then starts again.
ConsoleColor const LolzColors[] = {
    ConsoleColor::Blue,
    ConsoleColor::Cyan,
    ConsoleColor::DarkBlue,
    ConsoleColor::DarkCyan,
    ConsoleColor::DarkGray,
    ConsoleColor::DarkGreen,
    ConsoleColor::DarkMagenta,
    ConsoleColor::DarkRed,
    ConsoleColor::DarkYellow,
    ConsoleColor::DarkYellow,
    ConsoleColor::Gray,
    ConsoleColor::Green,
    ConsoleColor::Magenta,
    ConsoleColor::Red,
    ConsoleColor::White,
    ConsoleColor::Yellow,
};

// Never returns: it is meant to be left running.
ErrorOr<void> lolz(Kernel&, Argument const&)
{
    PIT timer;
    for (size_t i = 0;; i = (i + 1) % (sizeof LolzColors / sizeof LolzColors[0])) {
        Console::set_foreground_color(LolzColors[i]);
        TRY(Console::write_line("LOLZ"));
        timer.wait(100);
    }
}

// Paints 24 full rows red; the red background stays for everything written
// afterwards.
ErrorOr<void> fillcon(Kernel&, Argument const&)
{
    Console::set_background_color(ConsoleColor::Red);
    // A full row wraps to the next one by itself: ending each row with a
    // line break as well would leave every other row black.
    for (i32 row = 0; row < 24; ++row)
        TRY(Console::write(String::repeated(u' ', static_cast<size_t>(Console::window_width()))));
    return {};
}

ErrorOr<void> credits(Kernel&, Argument const&)
{
    Console::clear();
    TRY(Console::write_line("Press ESC to exit"));
    for (;;) {
        auto key = TRY(Console::read_key());
        if (key.key == ConsoleKey::Escape)
            return {};
        TRY(Console::write_line(""));
    }
}

// Counts seconds as h:m:s, one line per second of the interval timer (the
// CMOS clock may stand still), until Escape. It reads the keys on a keyboard
// of its own so that keys typed meanwhile do not pile up for the prompt;
// leaving the scope hands the keys back to the console.
ErrorOr<void> stopwatch(Kernel&, Argument const&)
{
    Keyboard keyboard;
    i32 hours = 0;
    i32 minutes = 0;
    i32 seconds = 0;
    while (!escape_pressed(keyboard)) {
        TRY(Console::write_line(String::number(hours) + ":" + String::number(minutes) + ":" + String::number(seconds)));
        if (++seconds == 60) {
            seconds = 0;
            if (++minutes == 60) {
                minutes = 0;
                ++hours;
            }
        }
        Time::wait(1);
    }
    return {};
}

// The system name in '@' letters: "TESS" (red) and "ARY" (cyan).
constexpr i32 AboutLeftWidth = 22;
constexpr i32 AboutRightWidth = 16;
char const* const AboutLeft[6] = {
    "@@@@@ @@@@ @@@@ @@@@  ",
    "  @   @    @    @     ",
    "  @   @@@  @@@@ @@@@  ",
    "  @   @       @    @  ",
    "  @   @       @    @  ",
    "  @   @@@@ @@@@ @@@@  ",
};
char const* const AboutRight[6] = {
    " @@  @@@  @   @ ",
    "@  @ @  @  @ @  ",
    "@@@@ @@@    @   ",
    "@  @ @ @    @   ",
    "@  @ @  @   @   ",
    "@  @ @  @   @   ",
};

// The separator between two frames of the banner animation.
ErrorOr<void> pause_between_frames()
{
    for (int i = 0; i < 6; ++i)
        Console::write_line();
    Time::wait_ms(400);
    Console::clear();
    return {};
}

// One frame: the rightmost `left_width` columns of the left word followed by
// the rightmost `right_width` columns of the right word, so both words slide
// in from the left edge.
ErrorOr<void> about_frame(i32 left_width, i32 right_width)
{
    for (int row = 0; row < 6; ++row) {
        if (left_width > 0) {
            Console::set_foreground_color(ConsoleColor::Red);
            TRY(Console::write(String(AboutLeft[row]).substring(static_cast<size_t>(AboutLeftWidth - left_width))));
        }
        Console::set_foreground_color(ConsoleColor::Cyan);
        TRY(Console::write_line(String(AboutRight[row]).substring(static_cast<size_t>(AboutRightWidth - right_width))));
    }
    return {};
}

ErrorOr<void> about(Kernel&, Argument const&)
{
    Console::set_foreground_color(ConsoleColor::Cyan);
    for (i32 width = 1; width <= AboutRightWidth; ++width) {
        TRY(pause_between_frames());
        TRY(about_frame(0, width));
    }
    for (i32 width = 1; width <= AboutLeftWidth; ++width) {
        TRY(pause_between_frames());
        TRY(about_frame(width, AboutRightWidth));
    }
    return {};
}

}

void register_game_commands(Vector<Command>& table)
{
    table.append({ "snake", snake });
    table.append({ "matrix", matrix });
    table.append({ "lolz", lolz });
    table.append({ "fillcon", fillcon });
    table.append({ "credits", credits });
    table.append({ "stopwatch", stopwatch });
    table.append({ "about", about });
}
