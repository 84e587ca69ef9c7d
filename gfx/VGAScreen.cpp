#include "gfx/VGAScreen.h"

#include "arch/Port.h"
#include "gfx/VGA.h"
#include "hal/Debugger.h"

VGAScreen::VGAScreen()
    : m_setPixel(&VGAScreen::SetPixelNoMode)
    , m_getPixel(&VGAScreen::GetPixelNoMode)
{
}

void VGAScreen::SetMode320x200x8()
{
    VGA::WriteVGARegisters(VGA::g_320x200x256);
    PixelWidth = 320;
    PixelHeight = 200;
    Colors = 256;
    m_setPixel = &VGAScreen::SetPixel320x200x8;
    m_getPixel = &VGAScreen::GetPixel320x200x8;
}

ErrorOr<MemoryWindow> VGAScreen::GetFramebufferSegment()
{
    u8 value = VGAPortGroup::ReadGraphics(VGAPortGroup::GraphicsMiscellaneous);
    Debugger::Send("VGA: raw seg value: " + String::number(value));
    switch ((value >> 2) & 3) {
    case 0:
    case 1:
        return VGAPortGroup::VGAMemoryBlock();
    case 2:
        return VGAPortGroup::MonochromeTextBlock();
    case 3:
        return VGAPortGroup::ColorTextBlock();
    }
    return Error("Unable to determine memory segment!");
}

ErrorOr<void> VGAScreen::SetPixel320x200x8(u32 x, u32 y, u32 colour) { return Fill(y * 320 + x, static_cast<u8>(colour), 1); }

ErrorOr<u32> VGAScreen::GetPixel320x200x8(u32 x, u32 y)
{
    u32 offset = y * 320 + x;
    if (!m_target)
        return static_cast<u32>(TRY(Framebuffer().read8(offset)));
    if (offset >= m_target->size())
        return MemoryWindow::violation();
    return static_cast<u32>((*m_target)[offset]);
}

VGAScreen::RowRange VGAScreen::TakeDirtyRows()
{
    RowRange rows = m_dirty;
    m_dirty = { 1, 0 };
    return rows;
}

void VGAScreen::mark_dirty(u32 offset, u32 count)
{
    u32 first = offset / 320;
    u32 last = (offset + count - 1) / 320;
    if (m_dirty.empty()) {
        m_dirty = { first, last };
        return;
    }
    m_dirty.first = first < m_dirty.first ? first : m_dirty.first;
    m_dirty.last = last > m_dirty.last ? last : m_dirty.last;
}

ErrorOr<void> VGAScreen::Fill(u32 offset, u8 value, u32 count)
{
    if (!m_target) {
        TRY(Framebuffer().fill8(offset, value, count));
        mark_dirty(offset, count);
        return {};
    }
    if (offset > m_target->size() || count > m_target->size() - offset)
        return MemoryWindow::violation();
    for (u32 i = 0; i < count; ++i)
        (*m_target)[offset + i] = value;
    return {};
}

ErrorOr<void> VGAScreen::SetPixelNoMode(u32, u32, u32) { return Error("No video mode set!"); }
ErrorOr<u32> VGAScreen::GetPixelNoMode(u32, u32) { return Error("No video mode set!"); }

ErrorOr<void> VGAScreen::Clear(i32 colour)
{
    MemoryWindow window = TRY(GetFramebufferSegment());
    MarkAllDirty();
    return window.fill8(0, static_cast<u8>(colour), static_cast<u32>(PixelWidth * PixelHeight));
}

ErrorOr<void> VGAScreen::FillRectangle(u32 x0, u32 y0, u32 x1, u32 y1, u32 colour)
{
    if (m_setPixel == &VGAScreen::SetPixelNoMode)
        return SetPixelNoMode(x0, y0, colour);
    for (u32 y = y0; y <= y1 && x0 <= x1; ++y)
        TRY(Fill(y * 320 + x0, static_cast<u8>(colour), x1 - x0 + 1));
    return {};
}

void VGAScreen::SetPalette(u32 index, u8 const* bytes, size_t length)
{
    Port::out8(VGAPortGroup::DacWriteIndex, static_cast<u8>(index));
    for (size_t i = 0; i < length; ++i)
        Port::out8(VGAPortGroup::DacData, static_cast<u8>(bytes[i] >> 2));
}
