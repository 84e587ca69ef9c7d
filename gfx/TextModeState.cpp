#include "gfx/TextModeState.h"

#include "arch/Port.h"
#include "hal/Console.h"

namespace {

using namespace VGAPortGroup;

MemoryWindow cells() { return color_text_block(); }

// Runs `access` with plane 2 alone behind the window at 0xA0000, a byte a
// byte (odd/even addressing off, reads from plane 2), then gives the text
// mode its own routing back. Set/reset, rotation and the bit mask are left
// as the text mode has them: plain, or the console's own writes would not
// land either.
template<typename Access>
void with_font_plane(VGA::RegisterSet const& text, Access access)
{
    write_sequencer(SequencerMapMask, 0x04);
    write_sequencer(SequencerMemoryMode, 0x06);
    write_graphics(GraphicsReadMapSelect, 0x02);
    write_graphics(GraphicsMode, 0x00);
    write_graphics(GraphicsMiscellaneous, 0x04);
    auto plane = vga_memory_block();
    access(plane);
    for (u8 index : { SequencerMapMask, SequencerMemoryMode })
        write_sequencer(index, text[VGA::SequencerAt + index]);
    for (u8 index : { GraphicsReadMapSelect, GraphicsMode, GraphicsMiscellaneous })
        write_graphics(index, text[VGA::GraphicsAt + index]);
}

}

void TextModeState::save()
{
    m_registers = VGA::read_registers();
    m_dac = read_dac();
    MUST(cells().copy_out(0, m_cells.data(), m_cells.size()));
    with_font_plane(m_registers, [this](MemoryWindow& plane) { MUST(plane.copy_out(0, m_font.data(), FontSize)); });
    auto& console = Console::writer();
    m_console_x = console.x();
    m_console_y = console.y();
}

void TextModeState::restore() const
{
    // The console first: moving its position moves the hardware cursor,
    // which the registers then put exactly where it was.
    auto& console = Console::writer();
    console.set_x(m_console_x);
    console.set_y(m_console_y);

    VGA::write_registers(m_registers);
    with_font_plane(m_registers, [this](MemoryWindow& plane) { MUST(plane.copy_in(0, m_font.data(), FontSize)); });
    MUST(cells().copy_in(0, m_cells.data(), m_cells.size()));
    write_dac(m_dac);
    // Registers 0-7 were left unlocked for whatever came next; the text
    // mode's write protection comes back as it was.
    Port::out8(CrtIndex, 0x11);
    Port::out8(CrtData, m_registers[VGA::CrtAt + 0x11]);
}
