#include "tests/sim/PciConfigSpace.h"

PciConfigSpace::PciConfigSpace() { Sim::attach(0xCF8, 0xCFF, this); }

void PciConfigSpace::Function::set16(u8 reg, u16 value)
{
    bytes[reg] = static_cast<u8>(value);
    bytes[reg + 1] = static_cast<u8>(value >> 8);
}

void PciConfigSpace::Function::set32(u8 reg, u32 value)
{
    set16(reg, static_cast<u16>(value));
    set16(static_cast<u8>(reg + 2), static_cast<u16>(value >> 16));
}

PciConfigSpace::Function& PciConfigSpace::add(
    u8 bus, u8 slot, u8 function, u16 vendor, u16 device, u8 class_code, u8 subclass, u8 prog_if, u8 header_type)
{
    auto& f = m_functions[{ bus, slot, function }];
    f.set16(0x00, vendor);
    f.set16(0x02, device);
    f.set8(0x09, prog_if);
    f.set8(0x0A, subclass);
    f.set8(0x0B, class_code);
    f.set8(0x0E, header_type);
    return f;
}

PciConfigSpace::Function& PciConfigSpace::add_bridge(u8 bus, u8 slot, u16 vendor, u16 device, u8 secondary)
{
    auto& f = add(bus, slot, 0, vendor, device, 0x06, 0x04, 0, 1);
    f.set8(0x18, bus);
    f.set8(0x19, secondary);
    f.set8(0x1A, secondary);
    return f;
}

PciConfigSpace::Function* PciConfigSpace::selected()
{
    if (!(m_address & 0x80000000u))
        return nullptr;
    Key key { static_cast<u8>(m_address >> 16), static_cast<u8>((m_address >> 11) & 31),
        static_cast<u8>((m_address >> 8) & 7) };
    auto it = m_functions.find(key);
    return it == m_functions.end() ? nullptr : &it->second;
}

u32 PciConfigSpace::read(u16 port, int width)
{
    if (port == 0xCF8)
        return m_address;
    auto* f = selected();
    if (!f)
        return 0xFFFFFFFFu;
    u32 reg = (m_address & 0xFC) + (port - 0xCFC);
    u32 value = 0;
    for (int i = 0; i < width / 8; ++i)
        value |= static_cast<u32>(f->bytes[(reg + i) & 0xFF]) << (8 * i);
    return value;
}

void PciConfigSpace::write(u16 port, u32 value, int width)
{
    if (port == 0xCF8) {
        m_address = value;
        return;
    }
    auto* f = selected();
    if (!f)
        return;
    u32 reg = (m_address & 0xFC) + (port - 0xCFC);
    for (int i = 0; i < width / 8; ++i)
        f->bytes[(reg + i) & 0xFF] = static_cast<u8>(value >> (8 * i));
}
