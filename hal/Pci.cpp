#include "hal/Pci.h"

#include "arch/Port.h"
#include "hal/Console.h"
#include "hal/Debugger.h"

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

Vector<PCIDevice*> s_devices;
Vector<PCI::Record> s_records;

}

PCIBaseAddressBar::PCIBaseAddressBar(u32 raw)
    : IsIO(raw & 1)
    , BaseAddress(IsIO ? raw & 0xFFFFFFFC : raw & 0xFFFFFFF0)
    , Type(IsIO ? 0 : static_cast<u8>((raw >> 1) & 3))
    , Prefetchable(!IsIO && ((raw >> 3) & 1))
{
}

PCIDevice::PCIDevice(u32 bus, u32 slot, u32 function)
    : bus(bus)
    , slot(slot)
    , function(function)
{
    VendorID = ReadRegister16(0x00);
    DeviceID = ReadRegister16(0x02);
    RevisionID = ReadRegister8(0x08);
    ProgIF = ReadRegister8(0x09);
    Subclass = ReadRegister8(0x0A);
    ClassCode = ReadRegister8(0x0B);
    CacheLineSize = ReadRegister8(0x0C);
    LatencyTimer = ReadRegister8(0x0D);
    HeaderType = ReadRegister8(0x0E);
    BIST = ReadRegister8(0x0F);
    InterruptLine = ReadRegister8(0x3C);
    InterruptPIN = ReadRegister8(0x3D);
    DeviceExists = VendorID != 0xFFFF && DeviceID != 0xFFFF;
}

u32 PCIDevice::Address(u8 reg) const
{
    return 0x80000000u | (bus << 16) | ((slot & 31) << 11) | ((function & 7) << 8) | (reg & 0xFC);
}

u32 PCIDevice::ReadRegister32(u8 reg) const
{
    Port::out32(ConfigAddress, Address(reg));
    return Port::in32(ConfigData) >> ((reg & 3) * 8);
}

u16 PCIDevice::ReadRegister16(u8 reg) const { return static_cast<u16>(ReadRegister32(reg)); }
u8 PCIDevice::ReadRegister8(u8 reg) const { return static_cast<u8>(ReadRegister32(reg)); }

void PCIDevice::WriteRegister16(u8 reg, u16 value) const
{
    Port::out32(ConfigAddress, Address(reg));
    // The upper half of the selected dword is reached through the upper
    // half of the data port.
    Port::out16(static_cast<u16>(ConfigData + (reg & 2)), value);
}

void PCIDevice::EnableMemory(bool enable) const
{
    u16 command = ReadRegister16(CommandRegister);
    command = enable ? command | IOMemoryAndBusMaster : command & ~IOMemoryAndBusMaster;
    WriteRegister16(CommandRegister, command);
}

PCIDeviceNormal::PCIDeviceNormal(u32 bus, u32 slot, u32 function)
    : PCIDevice(bus, slot, function)
{
    for (int i = 0; i < 6; ++i)
        BaseAddresses[i] = ReadRegister32(static_cast<u8>(0x10 + i * 4));
    CardbusCISPointer = ReadRegister32(0x28);
    SubsystemVendorID = ReadRegister16(0x2C);
    SubsystemID = ReadRegister16(0x2E);
    ExpansionROMBaseAddress = ReadRegister32(0x30);
    CapabilitiesPointer = ReadRegister8(0x34);
    MinGrant = ReadRegister8(0x3E);
    MaxLatency = ReadRegister8(0x3F);
}

PCIDeviceBridge::PCIDeviceBridge(u32 bus, u32 slot, u32 function)
    : PCIDevice(bus, slot, function)
{
    BaseAddresses[0] = ReadRegister32(0x10);
    BaseAddresses[1] = ReadRegister32(0x14);
    PrimaryBusNumber = ReadRegister8(0x18);
    SecondaryBusNumber = ReadRegister8(0x19);
    SubordinateBusNumber = ReadRegister8(0x1A);
    SecondaryLatencyTimer = ReadRegister8(0x1B);
    IOBase = ReadRegister8(0x1C);
    IOLimit = ReadRegister8(0x1D);
    SecondaryStatus = ReadRegister16(0x1E);
    MemoryBase = ReadRegister16(0x20);
    MemoryLimit = ReadRegister16(0x22);
    PrefatchableMemoryBase = ReadRegister16(0x24);
    PrefatchableMemoryLimit = ReadRegister16(0x26);
    PrefatchableBaseUpper32 = ReadRegister32(0x28);
    PrefatchableLimitUpper32 = ReadRegister32(0x2C);
    IOBaseUpper16 = ReadRegister16(0x30);
    IOLimitUpper16 = ReadRegister16(0x32);
    CapabilityPointer = ReadRegister8(0x34);
    ExpansionROMBaseAddress = ReadRegister32(0x38);
    BridgeControl = ReadRegister16(0x3E);
}

PCIDeviceCardbus::PCIDeviceCardbus(u32 bus, u32 slot, u32 function)
    : PCIDevice(bus, slot, function)
{
    CardbusBaseAddress = ReadRegister32(0x10);
    OffsetOfCapabilityList = ReadRegister8(0x14);
    SecondaryStatus = ReadRegister16(0x16);
    PCIBusNumber = ReadRegister8(0x18);
    CardbusBusNumber = ReadRegister8(0x19);
    SubordinateBusNumber = ReadRegister8(0x1A);
    CardbusLatencyTimer = ReadRegister8(0x1B);
    MemoryBaseAddress0 = ReadRegister32(0x1C);
    MemoryLimit0 = ReadRegister32(0x20);
    MemoryBaseAddress1 = ReadRegister32(0x24);
    MemoryLimit1 = ReadRegister32(0x28);
    IOBaseAddress0 = ReadRegister32(0x2C);
    IOLimit0 = ReadRegister32(0x30);
    IOBaseAddress1 = ReadRegister32(0x34);
    IOLimit1 = ReadRegister32(0x38);
    BridgeControl = ReadRegister16(0x3E);
    SubsystemVendorID = ReadRegister16(0x40);
    SubsystemDeviceID = ReadRegister16(0x42);
    PCCardBaseAddress = ReadRegister32(0x44);
}

String ToHex(u32 value, u32 bits) { return "0x" + String::hex(value, bits / 4); }

String DeviceClass::ClassName(PCIDevice const& device)
{
    u8 code = device.ClassCode;
    if (code >= 1 && code < sizeof ClassNames / sizeof ClassNames[0])
        return ClassNames[code];
    return "ClassCode: " + String::number(code) + "     Subclass: " + String::number(device.Subclass)
        + "     ProgIF: " + String::number(device.ProgIF);
}

String DeviceClass::GetString(PCIDevice const& device)
{
    for (auto const& known : KnownDevices) {
        if (known.vendor == device.VendorID && known.device == device.DeviceID)
            return known.name;
    }
    return ClassName(device);
}

ErrorOr<void> PCI::Setup()
{
    for (auto* device : s_devices)
        delete device;
    s_devices.clear();
    s_records.clear();
    return EnumerateBus(0, 0);
}

ErrorOr<void> PCI::EnumerateBus(u32 bus, u32 depth)
{
    for (u32 slot = 0; slot < 32; ++slot) {
        PCIDevice probe(bus, slot, 0);
        if (!probe.DeviceExists)
            continue;
        switch (probe.Kind()) {
        case PCIHeaderType::Bridge:
            for (u32 function = 0; function < 8; ++function) {
                if (PCIDevice(bus, slot, function).DeviceExists)
                    TRY(AddDevice(new PCIDeviceBridge(bus, slot, function), depth));
            }
            break;
        case PCIHeaderType::Cardbus:
            TRY(AddDevice(new PCIDeviceCardbus(bus, slot, 0), depth));
            break;
        default:
            TRY(AddDevice(new PCIDeviceNormal(bus, slot, 0), depth));
            break;
        }
    }
    return {};
}

ErrorOr<void> PCI::AddDevice(PCIDevice* device, u32 depth)
{
    String name = DeviceClass::GetString(*device);
    String line = String::repeated(u' ', 5 * depth) + String::number(device->bus) + ":"
        + String::number(device->slot) + ":" + String::number(device->function) + "   " + name;
    Debugger::Send("PCI " + line);
    TRY(Console::WriteLine(line));
    s_devices.append(device);
    s_records.append({ name, DeviceClass::ClassName(*device), device->DeviceID, static_cast<u8>(device->bus) });
    if (device->Kind() == PCIHeaderType::Bridge) {
        u32 secondary = static_cast<PCIDeviceBridge*>(device)->SecondaryBusNumber;
        // Buses behind a bridge are numbered above it; anything else is a
        // misconfigured bridge that would make the walk go round for ever.
        if (secondary > device->bus)
            TRY(EnumerateBus(secondary, depth + 1));
    }
    return {};
}

PCIDevice* PCI::GetDevice(u16 vendor, u16 device)
{
    for (auto* candidate : s_devices) {
        if (candidate->VendorID == vendor && candidate->DeviceID == device)
            return candidate;
    }
    return nullptr;
}

Vector<PCIDevice*> const& PCI::Devices() { return s_devices; }
Vector<PCI::Record> const& PCI::PCIDeviceList() { return s_records; }
