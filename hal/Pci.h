#pragma once

#include "base/OwnPtr.h"
#include "base/Error.h"

// PCI through configuration mechanism 1 (ports 0xCF8/0xCFC): the buses are
// walked once at start-up, every function found becomes a PCIDevice, and
// drivers look their adapter up by vendor and device identifier.

enum class PCIHeaderType : u8 {
    Normal = 0,
    Bridge = 1,
    Cardbus = 2,
};

// One base address register, decoded.
class PCIBaseAddressBar {
public:
    explicit PCIBaseAddressBar(u32 raw);

    bool IsIO;
    u32 BaseAddress;
    u8 Type;           // memory BARs: 0 = 32-bit, 2 = 64-bit
    bool Prefetchable; // memory BARs only
};

// The configuration header fields every function has.
class PCIDevice {
public:
    PCIDevice(u32 bus, u32 slot, u32 function);
    virtual ~PCIDevice() = default;

    u8 ReadRegister8(u8 reg) const;
    u16 ReadRegister16(u8 reg) const;
    u32 ReadRegister32(u8 reg) const;
    void WriteRegister16(u8 reg, u16 value) const;
    // Sets or clears I/O space, memory space and bus mastering together.
    void EnableMemory(bool enable) const;

    // The kind of header that follows the common part (bit 7, the
    // multi-function flag, is not part of it).
    PCIHeaderType Kind() const { return static_cast<PCIHeaderType>(HeaderType & 0x7F); }

    u32 bus, slot, function;
    u16 VendorID, DeviceID;
    u8 RevisionID, ProgIF, Subclass, ClassCode;
    u8 CacheLineSize, LatencyTimer, HeaderType, BIST;
    u8 InterruptLine, InterruptPIN;
    bool DeviceExists;

private:
    u32 Address(u8 reg) const;
};

class PCIDeviceNormal : public PCIDevice {
public:
    PCIDeviceNormal(u32 bus, u32 slot, u32 function);

    PCIBaseAddressBar BAR(int index) const { return PCIBaseAddressBar(BaseAddresses[index]); }

    u32 BaseAddresses[6];
    u32 CardbusCISPointer;
    u16 SubsystemVendorID, SubsystemID;
    u32 ExpansionROMBaseAddress;
    u8 CapabilitiesPointer, MinGrant, MaxLatency;
};

class PCIDeviceBridge : public PCIDevice {
public:
    PCIDeviceBridge(u32 bus, u32 slot, u32 function);

    u32 BaseAddresses[2];
    u8 PrimaryBusNumber, SecondaryBusNumber, SubordinateBusNumber, SecondaryLatencyTimer;
    u8 IOBase, IOLimit;
    u16 SecondaryStatus;
    u16 MemoryBase, MemoryLimit;
    u16 PrefetchableMemoryBase, PrefetchableMemoryLimit;
    u32 PrefetchableBaseUpper32, PrefetchableLimitUpper32;
    u16 IOBaseUpper16, IOLimitUpper16;
    u8 CapabilityPointer;
    u32 ExpansionROMBaseAddress;
    u16 BridgeControl;
};

class PCIDeviceCardbus : public PCIDevice {
public:
    PCIDeviceCardbus(u32 bus, u32 slot, u32 function);

    u32 CardbusBaseAddress;
    u8 OffsetOfCapabilityList;
    u16 SecondaryStatus;
    u8 PCIBusNumber, CardbusBusNumber, SubordinateBusNumber, CardbusLatencyTimer;
    u32 MemoryBaseAddress0, MemoryLimit0, MemoryBaseAddress1, MemoryLimit1;
    u32 IOBaseAddress0, IOLimit0, IOBaseAddress1, IOLimit1;
    u16 BridgeControl;
    u16 SubsystemDeviceID, SubsystemVendorID;
    u32 PCCardBaseAddress;
};

// Display names: a known device by name, anything else by its class.
class DeviceClass {
public:
    static String GetString(PCIDevice const& device);
    static String ClassName(PCIDevice const& device);
    // The sub-class's name, or the class and sub-class numbers when it has
    // none (every sub-class of a class without a name).
    static String SubclassName(PCIDevice const& device);
};

// "0x" and bits / 4 upper-case hexadecimal digits.
String ToHex(u32 value, u32 bits);

class PCI {
public:
    // One row of the shell's device table.
    struct Record {
        String DeviceName;
        String SubclassName;
        u16 DeviceNumber;
        u8 Bus;
    };

    // Walks every bus reachable from bus 0 and returns the start-up listing:
    // one line per function found, indented five spaces per bridge crossed.
    // The previous list is discarded.
    static Vector<String> Setup();
    // The first device with both identifiers, or null.
    static PCIDevice* GetDevice(u16 vendor, u16 device);
    static Vector<OwnPtr<PCIDevice>> const& Devices();
    // The shell's device table, one record per device found.
    static Vector<Record> const& PCIDeviceList();

private:
    static void EnumerateBus(u32 bus, u32 depth, Vector<String>& listing);
    static void AddDevice(OwnPtr<PCIDevice> device, u32 depth, Vector<String>& listing);
};
