#include "gfx/VGAColors.h"

namespace {
Vector<Color> s_entries;

i32 distance(u8 a, u8 b) { return a > b ? a - b : b - a; }
}

void VGAColors::ClearEntries() { s_entries.clear(); }

void VGAColors::AddEntry(u8 r, u8 g, u8 b) { s_entries.append(Color(static_cast<i32>(s_entries.size()), r, g, b)); }

i32 VGAColors::delta_RGB(Color const& a, Color const& b)
{
    return distance(a.R, b.R) + distance(a.G, b.G) + distance(a.B, b.B);
}

i32 VGAColors::FindIndex(u8 r, u8 g, u8 b)
{
    Color target(r, g, b);
    i32 best = 9999;
    i32 bestIndex = 0;
    for (auto const& entry : s_entries) {
        i32 d = delta_RGB(target, entry);
        if (d < best) {
            best = d;
            bestIndex = entry.Index;
        }
        if (d == 0)
            break;
    }
    return bestIndex;
}

Vector<Color> const& VGAColors::PaletteEntries() { return s_entries; }
