#pragma once

#include "base/Types.h"

#include <array>

// The desktop palette: 144 named colours, each at the palette index of its
// position in the table.
namespace SysColors {

struct Entry {
    char const* name;
    u8 rgb[3];
};
constexpr u32 Count = 144;
extern std::array<Entry, Count> const Table;

// Palette indices the desktop draws with.
enum Index : u8 {
    Black = 0,
    White = 1,
    Gray = 2,
    Magenta = 3,
    Red = 6,
    LightGray = 7,
    Yellow = 11,
    Aquamarine = 14,
    Blue = 19,
    DarkOrange = 38,
    Orange = 105,
    // Loaded with Black once more after the table.
    TextBlack = 144,
};

// Loads the table into the DAC, then index 144 with black again.
void init_colors();

}
