#pragma once

#include "base/Error.h"

class VGAScreen;

// The desktop's bitmap font: capital letters, digits, space, colon and the
// two slashes, 7 pixels high.
namespace Chars {

struct Glyph {
    char16_t character;
    u8 width;
    u8 advance; // how far the pen moves right after the glyph
    // Width x 7 values row by row from the top: 1 ink, 0 background.
    u32 const* pixels;
};

// The glyph of an upper-case character, or null when the font has none.
Glyph const* get(char16_t character);

}

namespace Font {

// Draws text left to right from its top-left pixel (x, y), letters in
// upper case; characters without a glyph draw nothing and take no room.
ErrorOr<void> draw_text(VGAScreen& screen, i32 x, i32 y, String const& text, i32 colour);

}
