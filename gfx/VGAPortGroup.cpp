#include "gfx/VGAPortGroup.h"

#include "arch/Port.h"

void VGAPortGroup::write_sequencer(u8 index, u8 value)
{
    Port::out8(SequencerIndex, index);
    Port::out8(SequencerData, value);
}

void VGAPortGroup::write_graphics(u8 index, u8 value)
{
    Port::out8(GraphicsIndex, index);
    Port::out8(GraphicsData, value);
}

u8 VGAPortGroup::read_graphics(u8 index)
{
    Port::out8(GraphicsIndex, index);
    return Port::in8(GraphicsData);
}

void VGAPortGroup::set_palette_entry(u8 index, u8 r, u8 g, u8 b)
{
    Port::out8(DacWriteIndex, index);
    Port::out8(DacData, static_cast<u8>(r >> 2));
    Port::out8(DacData, static_cast<u8>(g >> 2));
    Port::out8(DacData, static_cast<u8>(b >> 2));
}
