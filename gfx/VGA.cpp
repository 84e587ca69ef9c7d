#include "gfx/VGA.h"

#include "arch/Port.h"
#include "gfx/VGAColors.h"
#include "gfx/WebColors.h"

namespace {

using VGA::RegisterSet;

// clang-format off
RegisterSet const Registers320x200x256 = {
    0x63,
    0x03, 0x01, 0x0F, 0x00, 0x0E,
    0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0xBF, 0x1F, 0x00, 0x41, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x9C, 0x0E, 0x8F, 0x28, 0x40, 0x96, 0xB9, 0xA3, 0xFF,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x05, 0x0F, 0xFF,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x41, 0x00, 0x0F, 0x00, 0x00,
};
RegisterSet const Registers320x200x4 = {
    0x63,
    0x03, 0x09, 0x03, 0x00, 0x02,
    0x2D, 0x27, 0x28, 0x90, 0x2B, 0x80, 0xBF, 0x1F, 0x00, 0x41, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x9C, 0x0E, 0x8F, 0x14, 0x00, 0x96, 0xB9, 0xA3, 0xFF,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x30, 0x02, 0x00, 0xFF,
    0x00, 0x13, 0x15, 0x17, 0x02, 0x04, 0x06, 0x07, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
    0x01, 0x00, 0x03, 0x00, 0x00,
};
RegisterSet const Registers640x480x2 = {
    0xE3,
    0x03, 0x01, 0x0F, 0x00, 0x06,
    0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0x0B, 0x3E, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xEA, 0x0C, 0xDF, 0x28, 0x00, 0xE7, 0x04, 0xE3, 0xFF,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x0F, 0xFF,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x14, 0x07, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0x01, 0x00, 0x0F, 0x00, 0x00,
};
RegisterSet const Registers640x480x16 = {
    0xE3,
    0x03, 0x01, 0x08, 0x00, 0x06,
    0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0x0B, 0x3E, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xEA, 0x0C, 0xDF, 0x28, 0x00, 0xE7, 0x04, 0xE3, 0xFF,
    0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x05, 0x0F, 0xFF,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x14, 0x07, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0x01, 0x00, 0x0F, 0x00, 0x00,
};
RegisterSet const Registers720x480x16 = {
    0xE7,
    0x03, 0x01, 0x08, 0x00, 0x06,
    0x6B, 0x59, 0x5A, 0x82, 0x60, 0x8D, 0x0B, 0x3E, 0x00, 0x40, 0x06, 0x07, 0x00, 0x00, 0x00, 0x00,
    0xEA, 0x0C, 0xDF, 0x2D, 0x08, 0xE8, 0x05, 0xE3, 0xFF,
    0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x05, 0x0F, 0xFF,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x01, 0x00, 0x0F, 0x00, 0x00,
};
// clang-format on

// The 320x200x256 mode's palette: the web's named colours from aliceblue to
// lemonchiffon.
constexpr u32 NamedColorCount = 63;
static_assert(WebColors::same_name(WebColors::Table[NamedColorCount - 1].name, "LemonChiffon"));

// The sixteen basic colour keywords, alphabetically.
constexpr WebColors::Colour BasicColors[16] = {
    WebColors::find("Aqua"),
    WebColors::find("Black"),
    WebColors::find("Blue"),
    WebColors::find("Fuchsia"),
    WebColors::find("Gray"),
    WebColors::find("Green"),
    WebColors::find("Lime"),
    WebColors::find("Maroon"),
    WebColors::find("Navy"),
    WebColors::find("Olive"),
    WebColors::find("Purple"),
    WebColors::find("Red"),
    WebColors::find("Silver"),
    WebColors::find("Teal"),
    WebColors::find("White"),
    WebColors::find("Yellow"),
};

struct ModeInfo {
    RegisterSet const* registers;
    i32 width, height, colors;
};

ModeInfo const Modes[] = {
    { &Registers320x200x256, 320, 200, 256 },
    { &Registers320x200x4, 320, 200, 4 },
    { &Registers640x480x2, 640, 480, 2 },
    { &Registers640x480x16, 640, 480, 16 },
    { &Registers720x480x16, 720, 480, 16 },
};

constexpr u32 ModeCount = sizeof Modes / sizeof Modes[0];

bool is_planar(ScreenResolution mode)
{
    return mode == ScreenResolution::Mode640x480x2 || mode == ScreenResolution::Mode640x480x16
        || mode == ScreenResolution::Mode720x480x16;
}

void load_palette(WebColors::Colour const* colors, u32 count)
{
    for (u32 i = 0; i < count; ++i)
        VGAColors::add_entry(colors[i].r, colors[i].g, colors[i].b);
}

}

namespace {
ScreenResolution g_resolution = ScreenResolution::Mode320x200x256;
i32 g_screen_width = 0;
i32 g_screen_height = 0;
i32 g_colour_count = 0;

ErrorOr<void> set_pixel_2(u32 x, u32 y, u32 colour)
{
    u8 pattern = static_cast<u8>((colour & 3) * 0x55);
    u32 offset = static_cast<u32>(g_screen_width) / 4 * y + x / 4;
    u8 mask = static_cast<u8>(0xC0 >> ((x & 3) * 2));
    auto memory = VGAPortGroup::vga_memory_block();
    u8 byte = TRY(memory.read8(offset));
    return memory.write8(offset, static_cast<u8>((byte & ~mask) | (pattern & mask)));
}

// Routes CPU reads and writes to one bit plane.
void set_plane(u32 plane)
{
    plane &= 3;
    VGAPortGroup::write_graphics(VGAPortGroup::GraphicsReadMapSelect, static_cast<u8>(plane));
    VGAPortGroup::write_sequencer(VGAPortGroup::SequencerMapMask, static_cast<u8>(1 << plane));
}

ErrorOr<void> set_pixel_4(u32 x, u32 y, u32 colour)
{
    u32 offset = static_cast<u32>(g_screen_width) / 8 * y + x / 8;
    u8 mask = static_cast<u8>(0x80 >> (x & 7));
    auto memory = VGAPortGroup::vga_memory_block();
    for (u32 plane = 0; plane < 4; ++plane) {
        set_plane(plane);
        u8 byte = TRY(memory.read8(offset));
        TRY(memory.write8(offset, (colour >> plane) & 1 ? byte | mask : byte & ~mask));
    }
    return {};
}

ErrorOr<u32> get_pixel_4(u32 x, u32 y)
{
    u32 offset = static_cast<u32>(g_screen_width) / 8 * y + x / 8;
    u8 mask = static_cast<u8>(0x80 >> (x & 7));
    u32 colour = 0;
    for (u32 plane = 0; plane < 4; ++plane) {
        set_plane(plane);
        if (TRY(VGAPortGroup::vga_memory_block().read8(offset)) & mask)
            colour |= 1u << plane;
    }
    return colour;
}

// With set/reset enabled for all four planes and all four planes enabled
// for writing, one byte write sets eight pixels to the colour in every plane
// at once; the byte written itself does not matter.
ErrorOr<void> fill_planar_bytes(u32 y0, u32 y1, u32 first_byte, u32 byte_count, u32 colour)
{
    u32 pitch = static_cast<u32>(g_screen_width) / 8;
    VGAPortGroup::write_graphics(VGAPortGroup::GraphicsSetReset, static_cast<u8>(colour & 0x0F));
    VGAPortGroup::write_graphics(VGAPortGroup::GraphicsEnableSetReset, 0x0F);
    VGAPortGroup::write_sequencer(VGAPortGroup::SequencerMapMask, 0x0F);
    ErrorOr<void> result;
    if (first_byte == 0 && byte_count == pitch)
        result = VGAPortGroup::vga_memory_block().fill8(pitch * y0, 0xFF, pitch * (y1 - y0 + 1));
    else {
        for (u32 y = y0; y <= y1 && !result.is_error(); ++y)
            result = VGAPortGroup::vga_memory_block().fill8(pitch * y + first_byte, 0xFF, byte_count);
    }
    // Plain write mode again: the per-pixel path relies on it.
    VGAPortGroup::write_graphics(VGAPortGroup::GraphicsEnableSetReset, 0x00);
    VGAPortGroup::write_graphics(VGAPortGroup::GraphicsSetReset, 0x00);
    return result;
}

}

void VGA::write_registers(RegisterSet const& r)
{
    Port::out8(VGAPortGroup::MiscellaneousOutput, r[0]);
    for (u8 i = 0; i < 5; ++i)
        VGAPortGroup::write_sequencer(i, r[SequencerAt + i]);

    // CRT registers 0-7 are write-protected while bit 7 of register 0x11 is
    // set; bit 7 of register 3 must stay set for the light-pen registers to
    // stay out of the way.
    Port::out8(VGAPortGroup::CrtIndex, 0x03);
    Port::out8(VGAPortGroup::CrtData, Port::in8(VGAPortGroup::CrtData) | 0x80);
    Port::out8(VGAPortGroup::CrtIndex, 0x11);
    Port::out8(VGAPortGroup::CrtData, Port::in8(VGAPortGroup::CrtData) & 0x7F);
    for (u8 i = 0; i < 0x19; ++i) {
        u8 value = r[CrtAt + i];
        if (i == 0x03)
            value |= 0x80;
        else if (i == 0x11)
            value &= 0x7F;
        Port::out8(VGAPortGroup::CrtIndex, i);
        Port::out8(VGAPortGroup::CrtData, value);
    }

    for (u8 i = 0; i < 9; ++i)
        VGAPortGroup::write_graphics(i, r[GraphicsAt + i]);

    for (u8 i = 0; i < 0x15; ++i) {
        Port::in8(VGAPortGroup::InputStatus1); // back to the index state
        Port::out8(VGAPortGroup::AttributeController, i);
        Port::out8(VGAPortGroup::AttributeController, r[AttributeAt + i]);
    }
    // Hand the palette back to the display: the picture comes on.
    Port::in8(VGAPortGroup::InputStatus1);
    Port::out8(VGAPortGroup::AttributeController, 0x20);
}

VGA::RegisterSet VGA::read_registers()
{
    RegisterSet r;
    r[0] = Port::in8(VGAPortGroup::MiscellaneousRead);
    for (u8 i = 0; i < 5; ++i)
        r[SequencerAt + i] = VGAPortGroup::read_sequencer(i);
    for (u8 i = 0; i < 0x19; ++i) {
        Port::out8(VGAPortGroup::CrtIndex, i);
        r[CrtAt + i] = Port::in8(VGAPortGroup::CrtData);
    }
    for (u8 i = 0; i < 9; ++i)
        r[GraphicsAt + i] = VGAPortGroup::read_graphics(i);
    // An index written without bit 5 takes the palette from the display,
    // which is what lets its registers be read.
    for (u8 i = 0; i < 0x15; ++i) {
        Port::in8(VGAPortGroup::InputStatus1); // back to the index state
        Port::out8(VGAPortGroup::AttributeController, i);
        r[AttributeAt + i] = Port::in8(VGAPortGroup::AttributeRead);
    }
    Port::in8(VGAPortGroup::InputStatus1);
    Port::out8(VGAPortGroup::AttributeController, 0x20);
    return r;
}

ScreenResolution VGA::resolution() { return g_resolution; }
i32 VGA::screen_width() { return g_screen_width; }
i32 VGA::screen_height() { return g_screen_height; }
i32 VGA::colour_count() { return g_colour_count; }

void VGA::write_mode_registers(ScreenResolution mode)
{
    u32 number = static_cast<u32>(mode);
    if (number < ModeCount)
        write_registers(*Modes[number].registers);
}

ErrorOr<void> VGA::set_mode(ScreenResolution mode)
{
    u32 number = static_cast<u32>(mode);
    if (number < ModeCount) {
        write_registers(*Modes[number].registers);
        g_screen_width = Modes[number].width;
        g_screen_height = Modes[number].height;
        g_colour_count = Modes[number].colors;
    }

    VGAColors::clear_entries();
    if (mode == ScreenResolution::Mode320x200x256)
        load_palette(WebColors::Table, NamedColorCount);
    else if (mode == ScreenResolution::Mode640x480x16 || mode == ScreenResolution::Mode720x480x16)
        load_palette(BasicColors, 16);
    for (auto const& entry : VGAColors::palette_entries())
        VGAPortGroup::set_palette_entry(static_cast<u8>(entry.index), entry.r, entry.g, entry.b);

    g_resolution = mode;
    // The screen is cleared and, when the cleared pixel (1, 1) reads back,
    // the test rectangle fills all but an 8-pixel border. Clearing the
    // border first and then filling the inside once, in red or in the clear
    // colour, leaves the same screen with every pixel written once.
    u32 black = static_cast<u32>(VGAColors::find_index(0, 0, 0));
    u32 right = static_cast<u32>(g_screen_width - 1);
    u32 bottom = static_cast<u32>(g_screen_height - 1);
    TRY(fill_rectangle(0, 0, right, 7, black));
    TRY(fill_rectangle(0, bottom - 7, right, bottom, black));
    TRY(fill_rectangle(0, 8, 7, bottom - 8, black));
    TRY(fill_rectangle(right - 7, 8, right, bottom - 8, black));
    bool tested = TRY(get_pixel(1, 1)) == black;
    u32 inside = tested ? static_cast<u32>(VGAColors::find_index(255, 0, 0)) : black;
    return fill_rectangle(8, 8, right - 8, bottom - 8, inside);
}

ErrorOr<void> VGA::set_pixel(u32 x, u32 y, u32 colour)
{
    switch (g_resolution) {
    case ScreenResolution::Mode320x200x256:
        return set_pixel_8(x, y, colour);
    case ScreenResolution::Mode320x200x4:
        return set_pixel_2(x, y, colour);
    case ScreenResolution::Mode640x480x2:
    case ScreenResolution::Mode640x480x16:
    case ScreenResolution::Mode720x480x16:
        return set_pixel_4(x, y, colour);
    }
    return {};
}

ErrorOr<u32> VGA::get_pixel(u32 x, u32 y)
{
    if (g_resolution == ScreenResolution::Mode320x200x256)
        return get_pixel_8(x, y);
    if (is_planar(g_resolution))
        return get_pixel_4(x, y);
    // The 4-colour mode cannot be read back.
    return 0u;
}

ErrorOr<void> VGA::set_pixel_8(u32 x, u32 y, u32 colour)
{
    return VGAPortGroup::vga_memory_block().write8(y * 320 + x, static_cast<u8>(colour));
}

ErrorOr<u32> VGA::get_pixel_8(u32 x, u32 y)
{
    return static_cast<u32>(TRY(VGAPortGroup::vga_memory_block().read8(y * 320 + x)));
}

ErrorOr<void> VGA::fill_row_8(u32 x0, u32 x1, u32 y, u32 colour)
{
    return VGAPortGroup::vga_memory_block().fill8(y * 320 + x0, static_cast<u8>(colour), x1 - x0 + 1);
}

ErrorOr<void> VGA::clear(u32 colour)
{
    if (g_screen_width <= 0 || g_screen_height <= 0)
        return {};
    return fill_rectangle(0, 0, static_cast<u32>(g_screen_width - 1), static_cast<u32>(g_screen_height - 1), colour);
}

// Whole bytes of every row go out in one pass each: per-pixel writes cost
// eight port writes and four read-modify-write cycles a pixel. Partial bytes
// at the ends of a row take the per-pixel path, so the result is the same.
ErrorOr<void> VGA::fill_rectangle(u32 x0, u32 y0, u32 x1, u32 y1, u32 colour)
{
    if (x1 < x0 || y1 < y0)
        return {};
    u32 pixels_per_byte;
    switch (g_resolution) {
    case ScreenResolution::Mode320x200x256:
        for (u32 y = y0; y <= y1; ++y)
            TRY(fill_row_8(x0, x1, y, colour));
        return {};
    case ScreenResolution::Mode320x200x4:
        pixels_per_byte = 4;
        break;
    case ScreenResolution::Mode640x480x2:
    case ScreenResolution::Mode640x480x16:
    case ScreenResolution::Mode720x480x16:
        pixels_per_byte = 8;
        break;
    default:
        return {};
    }

    u32 first = (x0 + pixels_per_byte - 1) / pixels_per_byte; // first whole byte
    u32 end = (x1 + 1) / pixels_per_byte;                     // one past the last whole byte
    for (u32 y = y0; y <= y1; ++y) {
        for (u32 x = x0; x <= x1; ++x) {
            if (first < end && x == first * pixels_per_byte)
                x = end * pixels_per_byte; // skip the whole bytes
            if (x > x1)
                break;
            TRY(set_pixel(x, y, colour));
        }
    }
    if (first >= end)
        return {};
    if (pixels_per_byte == 8)
        return fill_planar_bytes(y0, y1, first, end - first, colour);
    u8 pattern = static_cast<u8>((colour & 3) * 0x55);
    u32 pitch = static_cast<u32>(g_screen_width) / 4;
    for (u32 y = y0; y <= y1; ++y)
        TRY(VGAPortGroup::vga_memory_block().fill8(pitch * y + first, pattern, end - first));
    return {};
}
