#pragma once

#include "hal/MemoryWindow.h"

#include <array>

// The VGA adapter's register ports and its three memory windows.
namespace VGAPortGroup {

constexpr u16 AttributeController = 0x3C0;
constexpr u16 AttributeRead = 0x3C1;
constexpr u16 MiscellaneousOutput = 0x3C2;
constexpr u16 SequencerIndex = 0x3C4;
constexpr u16 SequencerData = 0x3C5;
constexpr u16 DacReadIndex = 0x3C7;
constexpr u16 DacWriteIndex = 0x3C8;
constexpr u16 DacData = 0x3C9;
constexpr u16 MiscellaneousRead = 0x3CC;
constexpr u16 GraphicsIndex = 0x3CE;
constexpr u16 GraphicsData = 0x3CF;
constexpr u16 CrtIndex = 0x3D4;
constexpr u16 CrtData = 0x3D5;
constexpr u16 InputStatus1 = 0x3DA;

// Sequencer and graphics-controller registers that route the CPU's
// accesses to the planes.
constexpr u8 SequencerMapMask = 2;
constexpr u8 SequencerMemoryMode = 4;
constexpr u8 GraphicsSetReset = 0;
constexpr u8 GraphicsEnableSetReset = 1;
constexpr u8 GraphicsReadMapSelect = 4;
constexpr u8 GraphicsMode = 5;
constexpr u8 GraphicsMiscellaneous = 6;

// The memory windows, made when needed: a window is only a base, a
// length and the mapped pointer.
inline MemoryWindow vga_memory_block() { return { 0xA0000, 0x10000 }; }
inline MemoryWindow monochrome_text_block() { return { 0xB0000, 0x8000 }; }
inline MemoryWindow color_text_block() { return { 0xB8000, 0x8000 }; }

void write_sequencer(u8 index, u8 value);
u8 read_sequencer(u8 index);
void write_graphics(u8 index, u8 value);
u8 read_graphics(u8 index);
// One DAC entry; the DAC takes 6-bit components.
void set_palette_entry(u8 index, u8 r, u8 g, u8 b);

// All 256 DAC entries, red, green and blue each, in the DAC's own 6 bits.
using DacTable = std::array<u8, 256 * 3>;
DacTable read_dac();
void write_dac(DacTable const& table);

}
