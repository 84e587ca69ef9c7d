#pragma once

#include "hal/Console.h"

// Coloured writes for the shell's commands and games.

// Writes the text in the colour and leaves the foreground white, whatever it
// was before.
ErrorOr<void> write_coloured(String const& text, ConsoleColor color);
// Writes the text in the colour, optionally centred on the row (centre_x) and
// on the middle row of the screen (centre_y); afterwards the cursor and the
// foreground are back where they were, so the caller goes on writing where it
// stood.
ErrorOr<void> write_centred(String const& text, ConsoleColor color, bool centre_x, bool centre_y);
// write_centred, ending the line.
ErrorOr<void> write_line_centred(String const& text, ConsoleColor color, bool centre_x, bool centre_y);

// A text-mode progress bar drawn on the line below the cursor:
// "[" + 50 track cells + "]" and the percentage from column 54. Every draw
// rewrites the whole bar and leaves the cursor where it found it.
class ProgressBar {
public:
    static constexpr i32 TrackLength = 50;

    ProgressBar(i32 value, bool char_by_char);

    i32 value() const { return m_value; }
    // Values outside 0...100 are ignored.
    void set_value(i32 value);
    // One percent more (stopping at 100), then a redraw.
    ErrorOr<void> increment();
    ErrorOr<void> refresh() { return draw(); }
    ErrorOr<void> draw();

private:
    i32 m_value { 0 };
    // Characters of the percentage the last draw wrote.
    size_t m_percent_width { 0 };
    // One Write per '=' (true) or one Write of the whole run; the screen is
    // the same, the first form shows the bar filling up on slow machines.
    bool m_char_by_char;
};
