#pragma once

#include "base/Error.h"

class VGAScreen;

// Drawing on the desktop screen through its current pixel writer, and the
// circle of the planar demonstration through the VGA driver. Nothing clips:
// the video memory window's bounds are the only guard.
namespace Draw {

// The colour value a sprite uses for "leave the screen as it is".
constexpr u32 Transparent = 0xFF00FF;

// Copies a width x height sprite of palette indices, row by row.
ErrorOr<void> frame(VGAScreen& screen, u32 const* sprite, i32 width, i32 height, i32 x, i32 y);
// Draws the 1-elements of a mask in one colour; every other value is
// transparent.
ErrorOr<void> frame_color(VGAScreen& screen, u32 const* mask, i32 width, i32 height, i32 x, i32 y, i32 colour);
// Dotted circles, (x, y) being the top-left corner of the bounding square:
// 180 dots 2 degrees apart, each drawn twice.
ErrorOr<void> circle_sd(VGAScreen& screen, i32 x, i32 y, i32 radius);
ErrorOr<void> circle_hd(i32 x, i32 y, i32 radius, u32 colour);

}
