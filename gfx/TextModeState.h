#pragma once

#include "gfx/VGA.h"
#include "hal/TextScreen.h"

// The console's text screen, kept while another mode has the adapter. The
// 256-colour mode's chained writes reach every plane, so more than the
// registers goes: the font in plane 2 and the cells in planes 0 and 1 are
// overwritten by the first frame, and the DAC by the first palette. The
// console's writing position is kept too, so text written meanwhile (into
// memory no mode shows) leaves no trace once the screen is back.
class TextModeState {
public:
    // Reads all of it from the adapter and the console, which must show
    // the text screen.
    void save();
    // Puts it all back, the registers exactly as they were read.
    void restore() const;

private:
    // 256 characters of 32 rows: font block 0 at the start of plane 2, the
    // block the BIOS's text modes select for both character maps.
    static constexpr u32 FontSize = 256 * 32;

    VGA::RegisterSet m_registers {};
    VGAPortGroup::DacTable m_dac {};
    std::array<u8, FontSize> m_font {};
    std::array<u8, TextScreen::TextMemorySize> m_cells {};
    i32 m_console_x { 0 };
    i32 m_console_y { 0 };
};
