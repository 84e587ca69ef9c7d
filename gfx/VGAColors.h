#pragma once

#include "base/Vector.h"

// An RGB colour and the palette index it occupies.
struct Color {
    Color() = default;
    Color(i32 index, u8 r, u8 g, u8 b)
        : index(index)
        , r(r)
        , g(g)
        , b(b)
    {
    }
    Color(u8 r, u8 g, u8 b)
        : Color(0, r, g, b)
    {
    }

    i32 index { 0 };
    u8 r { 0 };
    u8 g { 0 };
    u8 b { 0 };
};

// The colours the last VGA mode switch loaded into the DAC, in index order,
// and the nearest-colour search over them.
namespace VGAColors {

void clear_entries();
void add_entry(u8 r, u8 g, u8 b);
// The index of the first entry nearest to (r, g, b); 0 for an empty list.
i32 find_index(u8 r, u8 g, u8 b);
// Sum of the absolute component differences (0-765).
i32 delta_rgb(Color const& a, Color const& b);
Vector<Color> const& palette_entries();

}
