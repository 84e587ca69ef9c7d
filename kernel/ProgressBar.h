#pragma once

#include "base/Error.h"

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
