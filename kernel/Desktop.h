#pragma once

#include "base/String.h"
#include "gfx/Button.h"
#include "gfx/VGAScreen.h"

// The graphical desktop: 320x200 with 256 colours, fixed coordinates and
// palette indices, a pointer drawn in white, and a loop that redraws
// everything whenever the pointer has moved. Its DOS button restarts the
// kernel's machine straight into the shell.
class Desktop {
public:
    // `skip_boot_question`: the kernel's note that the shell's next start
    // skips the boot question, which the DOS button sets.
    explicit Desktop(bool& skip_boot_question)
        : m_skip_boot_question(skip_boot_question)
    {
    }

    // Enters 320x200 with 256 colours and runs the pointer loop; returns
    // only on an error.
    ErrorOr<void> run();
    // Draws the bars, the buttons, the clock and the panel.
    ErrorOr<void> draw();
    // Erases the old pointer (every white and red pixel), draws the desktop
    // and the white pointer at (x, y).
    ErrorOr<void> redraw(i32 x, i32 y);
    ErrorOr<void> click(u32 x, u32 y);
    // What the LAUNCH block does when clicked: "Bonjour" in white.
    ErrorOr<void> press_launch_button();

    VGAScreen& screen() { return m_screen; }
    bool is_menu_open() const { return m_menu_open; }
    void set_menu_open(bool open) { m_menu_open = open; }
    Button const& launch_button() const { return m_launch_button; }
    // Where the pointer was when the loop started: nothing is drawn until it
    // has left that place.
    Point pointer_at_start() const { return m_pointer_at_start; }

private:
    // What draw() puts on the screen, for one state of the panel and the
    // clock: the values, and a mask of 0xFF where draw() draws at all.
    struct Layer {
        Vector<u32> pixels; // masked, four pixels a word
        Vector<u32> mask;
        bool menu_open { false };
        String clock;
        bool valid { false };
    };
    ErrorOr<void> build_layer();

    bool& m_skip_boot_question;
    VGAScreen m_screen;
    Layer m_layer;
    Point m_pointer_at_start;
    bool m_menu_open { false };
    // The LAUNCH block of the bottom bar.
    Button m_launch_button { Point(0, 189), Size(31, 10) };
};
