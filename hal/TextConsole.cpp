#include "hal/TextConsole.h"

ErrorOr<void> TextConsole::store(char16_t c)
{
    TRY(m_screen.set_char(m_x, m_y, c));
    if (++m_x == TextScreen::Cols)
        advance_line();
    return {};
}

void TextConsole::advance_line()
{
    ++m_y;
    m_x = 0;
    if (m_y == TextScreen::Rows) {
        m_screen.scroll_up();
        ++m_scrolls;
        m_y = TextScreen::Rows - 1;
    }
}

ErrorOr<void> TextConsole::write_char(char16_t c)
{
    auto result = store(c);
    update_cursor();
    return result;
}

// One character of a string, control characters interpreted.
ErrorOr<void> TextConsole::put(char16_t c)
{
    if (c == u'\n') {
        advance_line();
    } else if (c == u'\t') {
        for (int i = 0; i < 4; ++i)
            TRY(store(u' '));
    } else if (c != u'\r') {
        return store(c);
    }
    return {};
}

// The hardware cursor moves once per string rather than per character: the
// screen ends up the same and output is several times faster.
ErrorOr<void> TextConsole::write(String const& text)
{
    ErrorOr<void> result;
    for (size_t i = 0; i < text.length() && !result.is_error(); ++i)
        result = put(text[i]);
    update_cursor();
    return result;
}

ErrorOr<void> TextConsole::write(char const* text)
{
    ErrorOr<void> result;
    for (size_t i = 0; text[i] && !result.is_error(); ++i)
        result = put(static_cast<u8>(text[i]));
    update_cursor();
    return result;
}

void TextConsole::new_line()
{
    advance_line();
    update_cursor();
}

void TextConsole::clear()
{
    m_screen.clear();
    m_x = 0;
    m_y = 0;
    update_cursor();
}

void TextConsole::set_x(i32 x)
{
    m_x = x;
    update_cursor();
}

void TextConsole::set_y(i32 y)
{
    m_y = y;
    update_cursor();
}
