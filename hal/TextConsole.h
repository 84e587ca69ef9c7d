#pragma once

#include "base/String.h"
#include "hal/TextScreen.h"

// The writer on top of the text screen: keeps the cursor, wraps at column 80
// and scrolls at row 25.
class TextConsole {
public:
    explicit TextConsole(TextScreen& screen)
        : m_screen(screen)
    {
    }

    // One cell; no control character is interpreted.
    ErrorOr<void> write_char(char16_t c);
    // Line feed breaks the line, carriage return is skipped, tab is four spaces.
    ErrorOr<void> write(String const& text);
    // The same for Latin-1 text, without allocating: the panic screen writes
    // with it when the heap may be what failed.
    ErrorOr<void> write(char const* text);
    void new_line();
    void clear();

    i32 x() const { return m_x; }
    i32 y() const { return m_y; }
    void set_x(i32 x);
    void set_y(i32 y);
    i32 rows() const { return TextScreen::Rows; }
    i32 cols() const { return TextScreen::Cols; }
    // How many times the screen has scrolled: lets the line editor follow a
    // line that moved up.
    u32 scroll_count() const { return m_scrolls; }
    TextScreen& screen() { return m_screen; }

private:
    ErrorOr<void> store(char16_t c);
    ErrorOr<void> put(char16_t c);
    void advance_line();
    void update_cursor() { m_screen.set_cursor_pos(m_x, m_y); }

    TextScreen& m_screen;
    i32 m_x { 0 };
    i32 m_y { 0 };
    u32 m_scrolls { 0 };
};
