#pragma once

#include "base/Types.h"
#include "sdk/tessary_calls.h"

#include <span>

// What a running program's graphics calls do, served by the layer that owns
// the screen (gfx/ProgramDisplay). The runner has checked the pointers.
class ProgramScreen {
public:
    static constexpr u32 PaletteSize = 768;
    static constexpr u32 FrameSize = 320 * 200;

    virtual ~ProgramScreen() = default;

    // TESSARY_SCREEN_320X200 or TESSARY_SCREEN_TEXT; 0, or BadArgument.
    virtual i32 set_screen(u32 screen) = 0;
    // Red, green and blue, 0-255, of colours 0-255.
    virtual i32 set_palette(std::span<u8 const, PaletteSize> palette) = 0;
    // Part of a frame: `bytes` go to the screen from pixel `offset` (a
    // frame arrives in the pieces the program's pages hold it in).
    virtual i32 show_frame_piece(u32 offset, std::span<u8 const> bytes) = 0;
    // The program has ended, however: the text console comes back exactly
    // as the program found it, when the program changed the screen.
    virtual void restore() = 0;
};
