#include "gfx/ProgramDisplay.h"

i32 ProgramDisplay::set_screen(u32) { return TESSARY_BAD_ARGUMENT; }
i32 ProgramDisplay::set_palette(std::span<u8 const, PaletteSize>) { return TESSARY_BAD_ARGUMENT; }
i32 ProgramDisplay::show_frame_piece(u32, std::span<u8 const>) { return TESSARY_BAD_ARGUMENT; }
void ProgramDisplay::restore() { }
