#include "gfx/VGAScreen.h"

#include "gfx/VGA.h"
#include "hal/Debugger.h"

namespace {
constexpr u32 Width = 320;

Error no_mode() { return Error("No video mode set!"); }
}

void VGAScreen::set_mode320x200x8()
{
    VGA::write_mode_registers(ScreenResolution::Mode320x200x256);
    m_pixel_width = 320;
    m_pixel_height = 200;
    m_mode_set = true;
}

ErrorOr<MemoryWindow> VGAScreen::get_framebuffer_segment()
{
    u8 value = VGAPortGroup::read_graphics(VGAPortGroup::GraphicsMiscellaneous);
    Debugger::send("VGA: raw seg value: " + String::number(value));
    switch ((value >> 2) & 3) {
    case 0:
    case 1:
        return VGAPortGroup::vga_memory_block();
    case 2:
        return VGAPortGroup::monochrome_text_block();
    case 3:
        return VGAPortGroup::color_text_block();
    }
    return Error("Unable to determine memory segment!");
}

ErrorOr<void> VGAScreen::set_pixel(u32 x, u32 y, u32 colour)
{
    if (!m_mode_set)
        return no_mode();
    u32 offset = y * Width + x;
    if (m_target)
        return fill_target(offset, static_cast<u8>(colour), 1);
    TRY(VGA::set_pixel_8(x, y, colour));
    mark_dirty(offset, 1);
    return {};
}

ErrorOr<u32> VGAScreen::get_pixel(u32 x, u32 y)
{
    if (!m_mode_set)
        return no_mode();
    if (!m_target)
        return VGA::get_pixel_8(x, y);
    u32 offset = y * Width + x;
    if (offset >= m_target->size())
        return MemoryWindow::violation();
    return static_cast<u32>((*m_target)[offset]);
}

VGAScreen::RowRange VGAScreen::take_dirty_rows()
{
    RowRange rows = m_dirty;
    m_dirty = { 1, 0 };
    return rows;
}

void VGAScreen::mark_dirty(u32 offset, u32 count)
{
    u32 first = offset / Width;
    u32 last = (offset + count - 1) / Width;
    if (m_dirty.empty()) {
        m_dirty = { first, last };
        return;
    }
    m_dirty.first = first < m_dirty.first ? first : m_dirty.first;
    m_dirty.last = last > m_dirty.last ? last : m_dirty.last;
}

ErrorOr<void> VGAScreen::fill_target(u32 offset, u8 value, u32 count)
{
    if (offset > m_target->size() || count > m_target->size() - offset)
        return MemoryWindow::violation();
    for (u32 i = 0; i < count; ++i)
        (*m_target)[offset + i] = value;
    return {};
}

ErrorOr<void> VGAScreen::clear(i32 colour)
{
    MemoryWindow window = TRY(get_framebuffer_segment());
    mark_all_dirty();
    return window.fill8(0, static_cast<u8>(colour), static_cast<u32>(m_pixel_width * m_pixel_height));
}

ErrorOr<void> VGAScreen::fill_rectangle(u32 x0, u32 y0, u32 x1, u32 y1, u32 colour)
{
    if (!m_mode_set)
        return no_mode();
    for (u32 y = y0; y <= y1 && x0 <= x1; ++y) {
        u32 offset = y * Width + x0;
        u32 count = x1 - x0 + 1;
        if (m_target) {
            TRY(fill_target(offset, static_cast<u8>(colour), count));
            continue;
        }
        TRY(VGA::fill_row_8(x0, x1, y, colour));
        mark_dirty(offset, count);
    }
    return {};
}
