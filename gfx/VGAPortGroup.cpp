#include "gfx/VGAPortGroup.h"

#include "arch/Port.h"

void VGAPortGroup::write_sequencer(u8 index, u8 value)
{
    Port::out8(SequencerIndex, index);
    Port::out8(SequencerData, value);
}

u8 VGAPortGroup::read_sequencer(u8 index)
{
    Port::out8(SequencerIndex, index);
    return Port::in8(SequencerData);
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

// The DAC's index moves on by itself after every third component.
VGAPortGroup::DacTable VGAPortGroup::read_dac()
{
    DacTable table;
    Port::out8(DacReadIndex, 0);
    for (u8& component : table)
        component = Port::in8(DacData);
    return table;
}

void VGAPortGroup::write_dac(DacTable const& table)
{
    Port::out8(DacWriteIndex, 0);
    for (u8 component : table)
        Port::out8(DacData, component);
}
