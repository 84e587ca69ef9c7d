#pragma once

#include "gfx/TextModeState.h"
#include "hal/ProgramScreen.h"

#include <optional>

// The screen as a running program sees it: the text console, or the
// 320x200 mode with 256 colours, its palette and whole frames. The first
// switch away from text keeps what the 256-colour mode overwrites (see
// TextModeState); going back to text, or restore(), puts it all back.
//
// A palette or a frame piece while the text screen shows is refused with
// TESSARY_BAD_ARGUMENT and changes nothing: the text screen's colours and
// cells stay the console's. Asking for the screen that already shows
// changes nothing either.
class ProgramDisplay : public ProgramScreen {
public:
    i32 set_screen(u32 screen) override;
    i32 set_palette(std::span<u8 const, PaletteSize> palette) override;
    // One bounds-checked copy straight to the 256-colour window, no
    // register touched: a frame costs little more than its bytes. A piece
    // that runs past the frame's 64,000 bytes is refused whole.
    i32 show_frame_piece(u32 offset, std::span<u8 const> bytes) override;
    void restore() override;

private:
    // Present while the 256-colour mode shows.
    std::optional<TextModeState> m_text_screen;
};
