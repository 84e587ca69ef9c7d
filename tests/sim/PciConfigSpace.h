#pragma once

// A simulated PCI configuration space behind ports 0xCF8-0xCFF
// (configuration mechanism 1). Functions are planted with their identifiers
// and class; any register can be set afterwards. Absent functions read as
// all ones, as on real hardware.

#include "tests/sim/Sim.h"

#include <array>
#include <map>
#include <tuple>

class PciConfigSpace : public Sim::PortDevice {
public:
    PciConfigSpace();

    struct Function {
        std::array<u8, 256> bytes {};
        void set8(u8 reg, u8 value) { bytes[reg] = value; }
        void set16(u8 reg, u16 value);
        void set32(u8 reg, u32 value);
        u16 get16(u8 reg) const { return static_cast<u16>(bytes[reg] | (bytes[reg + 1] << 8)); }
    };

    // Plants a function; the header type includes the multi-function bit.
    Function& add(u8 bus, u8 slot, u8 function, u16 vendor, u16 device, u8 class_code, u8 subclass = 0, u8 prog_if = 0,
        u8 header_type = 0);
    // A PCI-to-PCI bridge leading to `secondary`.
    Function& add_bridge(u8 bus, u8 slot, u16 vendor, u16 device, u8 secondary);

    u32 read(u16 port, int width) override;
    void write(u16 port, u32 value, int width) override;

private:
    using Key = std::tuple<u8, u8, u8>;
    std::map<Key, Function> m_functions;
    u32 m_address { 0 };
    Function* selected();
};
