#include "gfx/ProgramDisplay.h"

static_assert(sizeof(VGAPortGroup::DacTable) == ProgramScreen::PaletteSize);

namespace {
// The frame's own bytes of the 256-colour window: a piece that runs past
// them is refused whole.
MemoryWindow frame() { return { VGAPortGroup::vga_memory_block().base(), ProgramScreen::FrameSize }; }
}

i32 ProgramDisplay::set_screen(u32 screen)
{
    switch (screen) {
    case TESSARY_SCREEN_TEXT:
        restore();
        return 0;
    case TESSARY_SCREEN_320X200:
        if (!m_text_screen) {
            m_text_screen.emplace();
            m_text_screen->save();
            VGA::write_mode_registers(ScreenResolution::Mode320x200x256);
            // Black rather than the text screen's planes seen through the
            // 256-colour mode.
            MUST(frame().fill8(0, 0, FrameSize));
        }
        return 0;
    default:
        return TESSARY_BAD_ARGUMENT;
    }
}

i32 ProgramDisplay::set_palette(std::span<u8 const, PaletteSize> palette)
{
    if (!m_text_screen)
        return TESSARY_BAD_ARGUMENT;
    VGAPortGroup::DacTable table;
    for (u32 i = 0; i < table.size(); ++i)
        table[i] = static_cast<u8>(palette[i] >> 2);
    VGAPortGroup::write_dac(table);
    return 0;
}

i32 ProgramDisplay::show_frame_piece(u32 offset, std::span<u8 const> bytes)
{
    if (!m_text_screen)
        return TESSARY_BAD_ARGUMENT;
    return frame().copy_in(offset, bytes.data(), static_cast<u32>(bytes.size())).is_error() ? TESSARY_BAD_ARGUMENT : 0;
}

void ProgramDisplay::restore()
{
    if (!m_text_screen)
        return;
    m_text_screen->restore();
    m_text_screen.reset();
}
