#pragma once

#include "hal/ProgramScreen.h"

// The screen as a running program sees it: the text console, or the
// 320x200 mode with 256 colours, its palette and whole frames. Before the
// first switch away from text it keeps what the 256-colour mode overwrites
// (the registers, the font, the text and its palette); restore() puts it all
// back.
class ProgramDisplay : public ProgramScreen {
public:
    i32 set_screen(u32 screen) override;
    i32 set_palette(std::span<u8 const, PaletteSize> palette) override;
    i32 show_frame_piece(u32 offset, std::span<u8 const> bytes) override;
    void restore() override;
};
