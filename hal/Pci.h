#pragma once

#include "base/Error.h"
#include "base/OwnPtr.h"

// PCI through configuration mechanism 1 (ports 0xCF8/0xCFC): the buses are
// walked once at start-up, every function found becomes a PCIDevice, and
// drivers look their adapter up by vendor and device identifier.

enum class PCIHeaderType : u8 {
    Normal = 0,
    Bridge = 1,
    Cardbus = 2,
};

// One base address register, decoded.
struct PCIBaseAddressBar {
    explicit PCIBaseAddressBar(u32 raw);

    bool is_io;
    u32 base_address;
    u8 type;           // memory BARs: 0 = 32-bit, 2 = 64-bit
    bool prefetchable; // memory BARs only
};

// The configuration header fields every function has, read once when the
// device is found: a record of what the header held, with the register
// access drivers need.
struct PCIDevice {
    PCIDevice(u32 bus, u32 slot, u32 function);
    virtual ~PCIDevice() = default;

    u8 read_register8(u8 reg) const;
    u16 read_register16(u8 reg) const;
    u32 read_register32(u8 reg) const;
    void write_register16(u8 reg, u16 value) const;
    // Sets or clears I/O space, memory space and bus mastering together.
    void enable_memory(bool enable) const;

    // The kind of header that follows the common part (bit 7, the
    // multi-function flag, is not part of it).
    PCIHeaderType kind() const { return static_cast<PCIHeaderType>(header_type & 0x7F); }

    u32 bus, slot, function;
    u16 vendor_id, device_id;
    u8 revision_id, prog_if, subclass, class_code;
    u8 cache_line_size, latency_timer, header_type, bist;
    u8 interrupt_line, interrupt_pin;
    bool device_exists;
    // Bridges between bus 0 and the device, as the walk found it.
    u32 bridges_crossed { 0 };
};

struct PCIDeviceNormal : PCIDevice {
    PCIDeviceNormal(u32 bus, u32 slot, u32 function);

    PCIBaseAddressBar bar(int index) const { return PCIBaseAddressBar(base_addresses[index]); }

    u32 base_addresses[6];
    u32 cardbus_cis_pointer;
    u16 subsystem_vendor_id, subsystem_id;
    u32 expansion_rom_base_address;
    u8 capabilities_pointer, min_grant, max_latency;
};

struct PCIDeviceBridge : PCIDevice {
    PCIDeviceBridge(u32 bus, u32 slot, u32 function);

    u32 base_addresses[2];
    u8 primary_bus_number, secondary_bus_number, subordinate_bus_number, secondary_latency_timer;
    u8 io_base, io_limit;
    u16 secondary_status;
    u16 memory_base, memory_limit;
    u16 prefetchable_memory_base, prefetchable_memory_limit;
    u32 prefetchable_base_upper32, prefetchable_limit_upper32;
    u16 io_base_upper16, io_limit_upper16;
    u8 capability_pointer;
    u32 expansion_rom_base_address;
    u16 bridge_control;
};

struct PCIDeviceCardbus : PCIDevice {
    PCIDeviceCardbus(u32 bus, u32 slot, u32 function);

    u32 cardbus_base_address;
    u8 offset_of_capability_list;
    u16 secondary_status;
    u8 pci_bus_number, cardbus_bus_number, subordinate_bus_number, cardbus_latency_timer;
    u32 memory_base_address0, memory_limit0, memory_base_address1, memory_limit1;
    u32 io_base_address0, io_limit0, io_base_address1, io_limit1;
    u16 bridge_control;
    u16 subsystem_device_id, subsystem_vendor_id;
    u32 pc_card_base_address;
};

// Display names: a known device by name, anything else by its class.
namespace DeviceClass {
String get_string(PCIDevice const& device);
String class_name(PCIDevice const& device);
// The sub-class's name, or the class and sub-class numbers when it has
// none (every sub-class of a class without a name).
String subclass_name(PCIDevice const& device);
}

// "0x" and bits / 4 upper-case hexadecimal digits.
String to_hex(u32 value, u32 bits);

namespace PCI {
// Walks every bus reachable from bus 0, depth first in bus, slot and
// function order, and returns a record of every function found (functions
// 1-7 only of devices whose function 0 has the multi-function flag). The
// previous walk's records are discarded.
Vector<OwnPtr<PCIDevice>> const& enumerate();
// The first device with both identifiers, or null.
PCIDevice* get_device(u16 vendor, u16 device);
// What the last walk found, in its order.
Vector<OwnPtr<PCIDevice>> const& devices();
}
