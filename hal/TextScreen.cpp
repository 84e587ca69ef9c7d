#include "hal/TextScreen.h"

#include "arch/Port.h"

namespace {
constexpr u16 CrtIndex = 0x3D4;
constexpr u16 CrtData = 0x3D5;
// Two cells in one 32-bit word, for the fills.
constexpr u32 pair_of(u16 cell) { return static_cast<u32>(cell) << 16 | cell; }
constexpr u32 ClearPair = pair_of(TextScreen::ClearCell);
constexpr u32 RowBytes = TextScreen::Cols * 2;
}

TextScreen::TextScreen()
    : m_memory(TextMemory, TextMemorySize)
{
}

void TextScreen::clear() { (void)m_memory.fill32(0, ClearPair, TextMemorySize / 4); }

void TextScreen::clear_in_current_colors()
{
    auto cell = static_cast<u16>(m_attribute << 8 | u' ');
    (void)m_memory.fill32(0, pair_of(cell), TextMemorySize / 4);
}

void TextScreen::scroll_up()
{
    (void)m_memory.move(0, RowBytes, TextMemorySize - RowBytes);
    (void)m_memory.fill32(TextMemorySize - RowBytes, ClearPair, RowBytes / 4);
}

void TextScreen::set_colors(u8 foreground, u8 background)
{
    m_attribute = static_cast<u8>(foreground | (background << 4));
}

void TextScreen::set_cursor_pos(i32 x, i32 y)
{
    u16 position = static_cast<u16>(y * Cols + x);
    Port::out8(CrtIndex, 0x0F);
    Port::out8(CrtData, static_cast<u8>(position & 0xFF));
    Port::out8(CrtIndex, 0x0E);
    Port::out8(CrtData, static_cast<u8>(position >> 8));
}

ErrorOr<void> TextScreen::set_char(i32 x, i32 y, char16_t c)
{
    // Taken as unsigned, a negative offset lands beyond the buffer too.
    u32 offset = static_cast<u32>((y * Cols + x) * 2);
    return m_memory.write16(offset, static_cast<u16>((c & 0xFF) | (m_attribute << 8)));
}

u16 TextScreen::cell(i32 x, i32 y) const
{
    auto cell = m_memory.read16(static_cast<u32>((y * Cols + x) * 2));
    return cell.is_error() ? 0 : cell.value();
}
