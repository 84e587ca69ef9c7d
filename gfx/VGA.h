#pragma once

#include "gfx/VGAPortGroup.h"

enum class ScreenResolution : u32 {
    Mode320x200x256 = 0,
    Mode320x200x4 = 1,
    Mode640x480x2 = 2,
    Mode640x480x16 = 3,
    Mode720x480x16 = 4,
};

// The standard VGA adapter in its five graphics modes, programmed directly
// through its registers (no firmware call), and pixel access in each mode.
namespace VGA {

// A complete register set in the order it is loaded: miscellaneous output,
// then 5 sequencer, 25 CRT controller, 9 graphics controller and 21
// attribute controller registers, each group from its index 0.
using RegisterSet = std::array<u8, 61>;
constexpr u32 SequencerAt = 1;
constexpr u32 CrtAt = 6;
constexpr u32 GraphicsAt = 31;
constexpr u32 AttributeAt = 40;

// The registers as the adapter holds them now, whatever set them up (the
// boot loader's text mode included).
RegisterSet read_registers();
// Loads a register set, keeping the CRT controller's registers unlocked.
void write_registers(RegisterSet const& registers);

// Loads the mode's registers and palette, clears the screen to black and
// draws the red test rectangle inside an 8-pixel border.
ErrorOr<void> set_mode(ScreenResolution mode);
// Loads only the mode's registers, keeping the CRT controller's
// registers unlocked: no palette, no clearing, and the mode the pixel
// functions draw in stays as it was. The desktop's screen starts so.
void write_mode_registers(ScreenResolution mode);

// What the last set_mode loaded; a mode outside the table changes only
// the resolution, the size and colour count stay those of the mode before.
ScreenResolution resolution();
i32 screen_width();
i32 screen_height();
i32 colour_count();

ErrorOr<void> set_pixel(u32 x, u32 y, u32 colour);
ErrorOr<u32> get_pixel(u32 x, u32 y);
// The 320x200x256 layout, a byte a pixel and 320 bytes a row, whatever
// the current mode: the desktop's screen draws through these as well.
ErrorOr<void> set_pixel_8(u32 x, u32 y, u32 colour);
ErrorOr<u32> get_pixel_8(u32 x, u32 y);
ErrorOr<void> fill_row_8(u32 x0, u32 x1, u32 y, u32 colour);

// Sets every pixel of the screen, as set_pixel over the whole screen would.
ErrorOr<void> clear(u32 colour);
// Sets the pixels x0..x1, y0..y1 (inclusive), as set_pixel row by row would.
ErrorOr<void> fill_rectangle(u32 x0, u32 y0, u32 x1, u32 y1, u32 colour);

}
