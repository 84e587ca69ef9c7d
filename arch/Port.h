#pragma once

#include "base/Types.h"

// I/O port access: one of the two primitives through which all hardware is
// reached. The kernel links arch/i386/Port.cpp (the IN and OUT instructions);
// the host tests link a simulated machine instead.
namespace Port {
u8 in8(u16 port);
u16 in16(u16 port);
u32 in32(u16 port);
void out8(u16 port, u8 value);
void out16(u16 port, u16 value);
void out32(u16 port, u32 value);
// Block transfers of 16-bit words (REP INSW / REP OUTSW): the ATA data port
// moves a whole sector this way instead of one call per word.
void in16_block(u16 port, u16* words, size_t count);
void out16_block(u16 port, u16 const* words, size_t count);
}
