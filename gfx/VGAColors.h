#pragma once

#include "base/Vector.h"

// An RGB colour and the palette index it occupies.
class Color {
public:
    Color() = default;
    Color(i32 index, u8 r, u8 g, u8 b)
        : Index(index)
        , R(r)
        , G(g)
        , B(b)
    {
    }
    Color(u8 r, u8 g, u8 b)
        : Color(0, r, g, b)
    {
    }

    i32 Index { 0 };
    u8 R { 0 };
    u8 G { 0 };
    u8 B { 0 };
};

// The colours the last VGA mode switch loaded into the DAC, in index order,
// and the nearest-colour search over them.
class VGAColors {
public:
    static void ClearEntries();
    static void AddEntry(u8 r, u8 g, u8 b);
    // The index of the first entry nearest to (r, g, b); 0 for an empty list.
    static i32 FindIndex(u8 r, u8 g, u8 b);
    // Sum of the absolute component differences (0-765).
    static i32 delta_RGB(Color const& a, Color const& b);
    static Vector<Color> const& PaletteEntries();
};
