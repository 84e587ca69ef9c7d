#include "hal/Pci.h"

#include "arch/Port.h"

namespace {

constexpr u16 ConfigAddress = 0xCF8;
constexpr u16 ConfigData = 0xCFC;
constexpr u8 CommandRegister = 0x04;
constexpr u16 IOMemoryAndBusMaster = 0x0007;

struct KnownDevice {
    u16 vendor;
    u16 device;
    char const* name;
};

KnownDevice const KnownDevices[] = {
    { 0x1022, 0x2000, "AMD PCnet LANCE PCI Ethernet Controller" },
    { 0x104B, 0x1040, "Mylex BT958 SCSI Host Adaptor" },
    { 0x1274, 0x1371, "Ensoniq AudioPCI" },
    { 0x15AD, 0x0405, "VMware NVIDIA 9500MGS" },
    { 0x15AD, 0x0770, "VMware Standard Enhanced PCI to USB Host Controller" },
    { 0x15AD, 0x0790, "VMware 6.0 Virtual USB 2.0 Host Controller" },
    { 0x15AD, 0x07A0, "VMware PCI Express Root Port" },
    { 0x8086, 0x7190, "Intel 440BX/ZX AGPset Host Bridge" },
    { 0x8086, 0x7191, "Intel 440BX/ZX AGPset PCI-to-PCI bridge" },
    { 0x8086, 0x7110, "Intel PIIX4/4E/4M ISA Bridge" },
    { 0x8086, 0x7112, "Intel PIIX4/4E/4M USB Interface" },
};

// Indexed by class code, 0x01-0x11.
char const* const ClassNames[] = {
    nullptr,
    "Mass Storage Controller",
    "Network Controller",
    "Display Controller",
    "Multimedia Controller",
    "Memory Controller",
    "Bridge Device",
    "Simple Communication Controller",
    "Base System Peripheral",
    "Input Device",
    "Docking Station",
    "Processor",
    "Serial Bus Controller",
    "Wireless Controller",
    "Intelligent I/O Controller",
    "Satellite Communication Controller",
    "Encryption/Decryption Controller",
    "Data Acquisition and Signal Processing Controller",
};

struct SubclassEntry {
    u8 class_code;
    u8 subclass;
    char const* name;
};

// The sub-classes the PCI code assignments name, for the named classes.
SubclassEntry const SubclassNames[] = {
    { 0x01, 0x00, "SCSI Bus Controller" },
    { 0x01, 0x01, "IDE Controller" },
    { 0x01, 0x02, "Floppy Disk Controller" },
    { 0x01, 0x03, "IPI Bus Controller" },
    { 0x01, 0x04, "RAID Controller" },
    { 0x01, 0x05, "ATA Controller" },
    { 0x01, 0x06, "Serial ATA Controller" },
    { 0x01, 0x07, "Serial Attached SCSI Controller" },
    { 0x01, 0x08, "Non-Volatile Memory Controller" },
    { 0x02, 0x00, "Ethernet Controller" },
    { 0x02, 0x01, "Token Ring Controller" },
    { 0x02, 0x02, "FDDI Controller" },
    { 0x02, 0x03, "ATM Controller" },
    { 0x02, 0x04, "ISDN Controller" },
    { 0x02, 0x05, "WorldFip Controller" },
    { 0x02, 0x06, "PICMG 2.14 Multi Computing Controller" },
    { 0x02, 0x07, "InfiniBand Controller" },
    { 0x02, 0x08, "Fabric Controller" },
    { 0x03, 0x00, "VGA Compatible Controller" },
    { 0x03, 0x01, "XGA Controller" },
    { 0x03, 0x02, "3D Controller" },
    { 0x04, 0x00, "Multimedia Video Controller" },
    { 0x04, 0x01, "Multimedia Audio Controller" },
    { 0x04, 0x02, "Computer Telephony Device" },
    { 0x04, 0x03, "Audio Device" },
    { 0x05, 0x00, "RAM Controller" },
    { 0x05, 0x01, "Flash Controller" },
    { 0x06, 0x00, "Host Bridge" },
    { 0x06, 0x01, "ISA Bridge" },
    { 0x06, 0x02, "EISA Bridge" },
    { 0x06, 0x03, "MCA Bridge" },
    { 0x06, 0x04, "PCI-to-PCI Bridge" },
    { 0x06, 0x05, "PCMCIA Bridge" },
    { 0x06, 0x06, "NuBus Bridge" },
    { 0x06, 0x07, "CardBus Bridge" },
    { 0x06, 0x08, "RACEway Bridge" },
    { 0x06, 0x09, "Semi-Transparent PCI-to-PCI Bridge" },
    { 0x06, 0x0A, "InfiniBand-to-PCI Host Bridge" },
    { 0x07, 0x00, "Serial Controller" },
    { 0x07, 0x01, "Parallel Controller" },
    { 0x07, 0x02, "Multiport Serial Controller" },
    { 0x07, 0x03, "Modem" },
    { 0x07, 0x04, "GPIB Controller" },
    { 0x07, 0x05, "Smart Card Controller" },
    { 0x08, 0x00, "Interrupt Controller" },
    { 0x08, 0x01, "DMA Controller" },
    { 0x08, 0x02, "Timer" },
    { 0x08, 0x03, "RTC Controller" },
    { 0x08, 0x04, "PCI Hot-Plug Controller" },
    { 0x08, 0x05, "SD Host Controller" },
    { 0x08, 0x06, "IOMMU" },
    { 0x09, 0x00, "Keyboard Controller" },
    { 0x09, 0x01, "Digitizer Pen" },
    { 0x09, 0x02, "Mouse Controller" },
    { 0x09, 0x03, "Scanner Controller" },
    { 0x09, 0x04, "Gameport Controller" },
    { 0x0A, 0x00, "Generic Docking Station" },
    { 0x0B, 0x00, "386" },
    { 0x0B, 0x01, "486" },
    { 0x0B, 0x02, "Pentium" },
    { 0x0B, 0x10, "Alpha" },
    { 0x0B, 0x20, "PowerPC" },
    { 0x0B, 0x30, "MIPS" },
    { 0x0B, 0x40, "Co-Processor" },
    { 0x0C, 0x00, "FireWire Controller" },
    { 0x0C, 0x01, "ACCESS Bus Controller" },
    { 0x0C, 0x02, "SSA Controller" },
    { 0x0C, 0x03, "USB Controller" },
    { 0x0C, 0x04, "Fibre Channel Controller" },
    { 0x0C, 0x05, "SMBus Controller" },
    { 0x0C, 0x06, "InfiniBand Controller" },
    { 0x0C, 0x07, "IPMI Interface" },
    { 0x0C, 0x08, "SERCOS Interface" },
    { 0x0C, 0x09, "CANbus Controller" },
    { 0x0D, 0x00, "IrDA Controller" },
    { 0x0D, 0x01, "Consumer IR Controller" },
    { 0x0D, 0x10, "RF Controller" },
    { 0x0D, 0x11, "Bluetooth Controller" },
    { 0x0D, 0x12, "Broadband Controller" },
    { 0x0D, 0x20, "802.11a Ethernet Controller" },
    { 0x0D, 0x21, "802.11b Ethernet Controller" },
    { 0x0E, 0x00, "I2O Controller" },
    { 0x0F, 0x01, "Satellite TV Controller" },
    { 0x0F, 0x02, "Satellite Audio Controller" },
    { 0x0F, 0x03, "Satellite Voice Controller" },
    { 0x0F, 0x04, "Satellite Data Controller" },
    { 0x10, 0x00, "Network and Computing Encryption Controller" },
    { 0x10, 0x10, "Entertainment Encryption Controller" },
    { 0x11, 0x00, "DPIO Module" },
    { 0x11, 0x01, "Performance Counters" },
    { 0x11, 0x10, "Communication Synchronizer" },
    { 0x11, 0x20, "Signal Processing Management" },
};

// A class or sub-class without a name is shown by its numbers.
String class_numbers(PCIDevice const& device)
{
    return "ClassCode: " + String::number(device.class_code) + "     Subclass: " + String::number(device.subclass)
        + "     ProgIF: " + String::number(device.prog_if);
}

Vector<OwnPtr<PCIDevice>> g_devices;

}

PCIBaseAddressBar::PCIBaseAddressBar(u32 raw)
    : is_io(raw & 1)
    , base_address(is_io ? raw & 0xFFFFFFFC : raw & 0xFFFFFFF0)
    , type(is_io ? 0 : static_cast<u8>((raw >> 1) & 3))
    , prefetchable(!is_io && ((raw >> 3) & 1))
{
}

PCIDevice::PCIDevice(u32 bus, u32 slot, u32 function)
    : bus(bus)
    , slot(slot)
    , function(function)
{
    vendor_id = read_register16(0x00);
    device_id = read_register16(0x02);
    revision_id = read_register8(0x08);
    prog_if = read_register8(0x09);
    subclass = read_register8(0x0A);
    class_code = read_register8(0x0B);
    cache_line_size = read_register8(0x0C);
    latency_timer = read_register8(0x0D);
    header_type = read_register8(0x0E);
    bist = read_register8(0x0F);
    interrupt_line = read_register8(0x3C);
    interrupt_pin = read_register8(0x3D);
    device_exists = vendor_id != 0xFFFF && device_id != 0xFFFF;
}

namespace {
// The value for the address port that selects the dword holding `reg`.
u32 config_address(PCIDevice const& device, u8 reg)
{
    return 0x80000000u | (device.bus << 16) | ((device.slot & 31) << 11) | ((device.function & 7) << 8) | (reg & 0xFC);
}
}

u32 PCIDevice::read_register32(u8 reg) const
{
    Port::out32(ConfigAddress, config_address(*this, reg));
    return Port::in32(ConfigData) >> ((reg & 3) * 8);
}

u16 PCIDevice::read_register16(u8 reg) const { return static_cast<u16>(read_register32(reg)); }
u8 PCIDevice::read_register8(u8 reg) const { return static_cast<u8>(read_register32(reg)); }

void PCIDevice::write_register16(u8 reg, u16 value) const
{
    Port::out32(ConfigAddress, config_address(*this, reg));
    // The upper half of the selected dword is reached through the upper
    // half of the data port.
    Port::out16(static_cast<u16>(ConfigData + (reg & 2)), value);
}

void PCIDevice::enable_memory(bool enable) const
{
    u16 command = read_register16(CommandRegister);
    command = enable ? command | IOMemoryAndBusMaster : command & ~IOMemoryAndBusMaster;
    write_register16(CommandRegister, command);
}

PCIDeviceNormal::PCIDeviceNormal(u32 bus, u32 slot, u32 function)
    : PCIDevice(bus, slot, function)
{
    for (int i = 0; i < 6; ++i)
        base_addresses[i] = read_register32(static_cast<u8>(0x10 + i * 4));
    cardbus_cis_pointer = read_register32(0x28);
    subsystem_vendor_id = read_register16(0x2C);
    subsystem_id = read_register16(0x2E);
    expansion_rom_base_address = read_register32(0x30);
    capabilities_pointer = read_register8(0x34);
    min_grant = read_register8(0x3E);
    max_latency = read_register8(0x3F);
}

PCIDeviceBridge::PCIDeviceBridge(u32 bus, u32 slot, u32 function)
    : PCIDevice(bus, slot, function)
{
    base_addresses[0] = read_register32(0x10);
    base_addresses[1] = read_register32(0x14);
    primary_bus_number = read_register8(0x18);
    secondary_bus_number = read_register8(0x19);
    subordinate_bus_number = read_register8(0x1A);
    secondary_latency_timer = read_register8(0x1B);
    io_base = read_register8(0x1C);
    io_limit = read_register8(0x1D);
    secondary_status = read_register16(0x1E);
    memory_base = read_register16(0x20);
    memory_limit = read_register16(0x22);
    prefetchable_memory_base = read_register16(0x24);
    prefetchable_memory_limit = read_register16(0x26);
    prefetchable_base_upper32 = read_register32(0x28);
    prefetchable_limit_upper32 = read_register32(0x2C);
    io_base_upper16 = read_register16(0x30);
    io_limit_upper16 = read_register16(0x32);
    capability_pointer = read_register8(0x34);
    expansion_rom_base_address = read_register32(0x38);
    bridge_control = read_register16(0x3E);
}

PCIDeviceCardbus::PCIDeviceCardbus(u32 bus, u32 slot, u32 function)
    : PCIDevice(bus, slot, function)
{
    cardbus_base_address = read_register32(0x10);
    offset_of_capability_list = read_register8(0x14);
    secondary_status = read_register16(0x16);
    pci_bus_number = read_register8(0x18);
    cardbus_bus_number = read_register8(0x19);
    subordinate_bus_number = read_register8(0x1A);
    cardbus_latency_timer = read_register8(0x1B);
    memory_base_address0 = read_register32(0x1C);
    memory_limit0 = read_register32(0x20);
    memory_base_address1 = read_register32(0x24);
    memory_limit1 = read_register32(0x28);
    io_base_address0 = read_register32(0x2C);
    io_limit0 = read_register32(0x30);
    io_base_address1 = read_register32(0x34);
    io_limit1 = read_register32(0x38);
    bridge_control = read_register16(0x3E);
    subsystem_vendor_id = read_register16(0x40);
    subsystem_device_id = read_register16(0x42);
    pc_card_base_address = read_register32(0x44);
}

String to_hex(u32 value, u32 bits) { return "0x" + String::hex(value, bits / 4); }

String DeviceClass::class_name(PCIDevice const& device)
{
    u8 code = device.class_code;
    if (code >= 1 && code < sizeof ClassNames / sizeof ClassNames[0])
        return ClassNames[code];
    return class_numbers(device);
}

String DeviceClass::subclass_name(PCIDevice const& device)
{
    for (auto const& entry : SubclassNames) {
        if (entry.class_code == device.class_code && entry.subclass == device.subclass)
            return entry.name;
    }
    return class_numbers(device);
}

String DeviceClass::get_string(PCIDevice const& device)
{
    for (auto const& known : KnownDevices) {
        if (known.vendor == device.vendor_id && known.device == device.device_id)
            return known.name;
    }
    return class_name(device);
}

namespace {

void add_device(OwnPtr<PCIDevice> device, u32 depth);

void add_function(u32 bus, u32 slot, u32 function, u32 depth)
{
    PCIDevice probe(bus, slot, function);
    if (!probe.device_exists)
        return;
    switch (probe.kind()) {
    case PCIHeaderType::Bridge:
        add_device(make_own<PCIDeviceBridge>(bus, slot, function), depth);
        break;
    case PCIHeaderType::Cardbus:
        add_device(make_own<PCIDeviceCardbus>(bus, slot, function), depth);
        break;
    default:
        add_device(make_own<PCIDeviceNormal>(bus, slot, function), depth);
        break;
    }
}

void enumerate_bus(u32 bus, u32 depth)
{
    constexpr u8 MultiFunction = 0x80;
    for (u32 slot = 0; slot < 32; ++slot) {
        PCIDevice probe(bus, slot, 0);
        if (!probe.device_exists)
            continue;
        // A single-function device may decode functions 1-7 as aliases of
        // function 0 or leave stale values there: only the multi-function
        // flag makes them real.
        u32 functions = (probe.header_type & MultiFunction) ? 8 : 1;
        for (u32 function = 0; function < functions; ++function)
            add_function(bus, slot, function, depth);
    }
}

void add_device(OwnPtr<PCIDevice> device, u32 depth)
{
    device->bridges_crossed = depth;
    PCIDevice& added = *device;
    g_devices.append(std::move(device));
    if (added.kind() == PCIHeaderType::Bridge) {
        u32 secondary = static_cast<PCIDeviceBridge&>(added).secondary_bus_number;
        // Buses behind a bridge are numbered above it; anything else is a
        // misconfigured bridge that would make the walk go round for ever.
        if (secondary > added.bus)
            enumerate_bus(secondary, depth + 1);
    }
}

}

Vector<OwnPtr<PCIDevice>> const& PCI::enumerate()
{
    g_devices.clear();
    enumerate_bus(0, 0);
    return g_devices;
}

PCIDevice* PCI::get_device(u16 vendor, u16 device)
{
    for (auto const& candidate : g_devices) {
        if (candidate->vendor_id == vendor && candidate->device_id == device)
            return candidate.ptr();
    }
    return nullptr;
}

Vector<OwnPtr<PCIDevice>> const& PCI::devices() { return g_devices; }
