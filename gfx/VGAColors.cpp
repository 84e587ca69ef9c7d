#include "gfx/VGAColors.h"

namespace {
Vector<Color> g_entries;

i32 distance(u8 a, u8 b) { return a > b ? a - b : b - a; }
}

void VGAColors::clear_entries() { g_entries.clear(); }

void VGAColors::add_entry(u8 r, u8 g, u8 b) { g_entries.append(Color(static_cast<i32>(g_entries.size()), r, g, b)); }

i32 VGAColors::delta_rgb(Color const& a, Color const& b)
{
    return distance(a.r, b.r) + distance(a.g, b.g) + distance(a.b, b.b);
}

i32 VGAColors::find_index(u8 r, u8 g, u8 b)
{
    Color target(r, g, b);
    i32 best = 9999;
    i32 best_index = 0;
    for (auto const& entry : g_entries) {
        i32 d = delta_rgb(target, entry);
        if (d < best) {
            best = d;
            best_index = entry.index;
        }
        if (d == 0)
            break;
    }
    return best_index;
}

Vector<Color> const& VGAColors::palette_entries() { return g_entries; }
