#include "hal/Pci.h"
#include "base/StdString.h"
#include "kernel/Bootstrap.h"
#include "kernel/Commands.h"
#include "tests/sim/PciConfigSpace.h"
#include "tests/sim/TestMachine.h"

#include <gtest/gtest.h>

namespace {

struct Pci : ::testing::Test {
    // The boot's device step, which puts the walk on screen under its
    // heading; the rows below it.
    std::vector<std::string> listed()
    {
        Storage storage;
        EXPECT_FALSE(find_devices(storage).is_error());
        EXPECT_EQ(machine.line(0), "Finding PCI Devices");
        std::vector<std::string> lines;
        for (int row = 1; !machine.line(row).empty(); ++row)
            lines.push_back(machine.line(row));
        return lines;
    }

    TestMachine machine;
    PciConfigSpace space;
};

}

TEST_F(Pci, EnumerationListsKnownNamesClassNamesAndTheFallbackText)
{
    space.add(0, 0, 0, 0x8086, 0x7190, 0x06);
    space.add(0, 1, 0, 0x8086, 0x1234, 0x02);       // known vendor, unknown device
    space.add(0, 3, 0, 0x1AF4, 0x0001, 0x00, 0, 0); // class 0: no name
    space.add(0, 4, 0, 0x1234, 0x0005, 0x12, 7, 3); // class above the table
    space.add(0, 5, 0, 0x1234, 0x1111, 0x11);       // last class of the table
    EXPECT_EQ(listed(),
        (std::vector<std::string> { "0:0:0   Intel 440BX/ZX AGPset Host Bridge", "0:1:0   Network Controller",
            "0:3:0   ClassCode: 0     Subclass: 0     ProgIF: 0", "0:4:0   ClassCode: 18     Subclass: 7     ProgIF: 3",
            "0:5:0   Data Acquisition and Signal Processing Controller" }));
    EXPECT_EQ(PCI::devices().size(), 5u);
}

TEST_F(Pci, EveryFunctionOfAMultiFunctionDeviceIsListedAndASingleFunctionDeviceOnlyAtZero)
{
    // QEMU's PIIX3: ISA bridge with IDE and ACPI functions, function 2 absent.
    space.add(0, 1, 0, 0x8086, 0x7000, 0x06, 1, 0, 0x80);
    space.add(0, 1, 1, 0x8086, 0x7010, 0x01, 1, 0x80);
    space.add(0, 1, 3, 0x8086, 0x7113, 0x06, 0x80);
    space.add(0, 1, 7, 0x8086, 0x2922, 0x01, 6, 1);
    // Single-function: what function 1 holds is stale and must not appear.
    space.add(0, 2, 0, 0x1234, 0x1111, 0x03);
    space.add(0, 2, 1, 0x1234, 0x2222, 0x04);
    // A bridge as function 1 of a multi-function device leads to its bus.
    space.add(0, 3, 0, 0x8086, 0x3000, 0x06, 0, 0, 0x80);
    auto& bridge = space.add(0, 3, 1, 0x8086, 0x7191, 0x06, 4, 0, 1);
    bridge.set8(0x19, 1);
    space.add(1, 0, 0, 0x1274, 0x1371, 0x04);

    EXPECT_EQ(listed(),
        (std::vector<std::string> { "0:1:0   Bridge Device", "0:1:1   Mass Storage Controller", "0:1:3   Bridge Device",
            "0:1:7   Mass Storage Controller", "0:2:0   Display Controller", "0:3:0   Bridge Device",
            "0:3:1   Intel 440BX/ZX AGPset PCI-to-PCI bridge", "     1:0:0   Ensoniq AudioPCI" }));
    auto* ide = PCI::get_device(0x8086, 0x7010);
    ASSERT_NE(ide, nullptr);
    EXPECT_EQ(ide->function, 1u);
    EXPECT_EQ(ide->prog_if, 0x80);
    auto* ahci = PCI::get_device(0x8086, 0x2922);
    ASSERT_NE(ahci, nullptr);
    EXPECT_EQ(ahci->function, 7u);
    EXPECT_EQ(ahci->kind(), PCIHeaderType::Normal);
    EXPECT_EQ(PCI::get_device(0x1234, 0x2222), nullptr);
    EXPECT_EQ(PCI::devices().size(), 8u);
}

TEST_F(Pci, DevicesBehindABridgeAreIndentedAndListed)
{
    space.add_bridge(0, 2, 0x8086, 0x7191, 1);
    space.add(1, 0, 0, 0x15AD, 0x0405, 0x03);
    space.add_bridge(1, 4, 0x8086, 0x7191, 2);
    space.add(2, 7, 0, 0x1274, 0x1371, 0x04);
    space.add(0, 9, 0, 0x8086, 0x7110, 0x06);

    // The walk only records what it found: the boot puts it on screen.
    std::vector<u32> crossed;
    for (auto const& device : PCI::enumerate())
        crossed.push_back(device->bridges_crossed);
    EXPECT_EQ(crossed, (std::vector<u32> { 0, 1, 1, 2, 0 }));
    EXPECT_EQ(machine.line(0), "");
    EXPECT_EQ(listed(),
        (std::vector<std::string> { "0:2:0   Intel 440BX/ZX AGPset PCI-to-PCI bridge",
            "     1:0:0   VMware NVIDIA 9500MGS", "     1:4:0   Intel 440BX/ZX AGPset PCI-to-PCI bridge",
            "          2:7:0   Ensoniq AudioPCI", "0:9:0   Intel PIIX4/4E/4M ISA Bridge" }));

    auto* svga = PCI::get_device(0x15AD, 0x0405);
    ASSERT_NE(svga, nullptr);
    EXPECT_EQ(svga->bus, 1u);
    EXPECT_EQ(PCI::get_device(0x15AD, 0x0406), nullptr);
}

TEST_F(Pci, ABridgeLeadingBackToItsOwnBusIsNotWalkedAgain)
{
    space.add_bridge(0, 1, 0x8086, 0x7191, 0);
    (void)PCI::enumerate();
    EXPECT_EQ(PCI::devices().size(), 1u);
}

TEST_F(Pci, HeaderFieldsRegistersAndBars)
{
    auto& f = space.add(0, 6, 0, 0x15AD, 0x0405, 0x03, 0x00, 0x00);
    f.set8(0x08, 0x42);
    f.set32(0x10, 0x0000C001); // I/O at 0xC000
    f.set32(0x14, 0xE000000C); // prefetchable 64-bit memory
    f.set16(0x2C, 0x15AD);
    f.set8(0x3C, 11);
    f.set8(0x3D, 1);
    f.set16(0x04, 0x0100);
    (void)PCI::enumerate();
    auto* device = static_cast<PCIDeviceNormal*>(PCI::get_device(0x15AD, 0x0405));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->revision_id, 0x42);
    EXPECT_EQ(device->subsystem_vendor_id, 0x15AD);
    EXPECT_EQ(device->interrupt_line, 11);
    EXPECT_EQ(device->interrupt_pin, 1);
    EXPECT_EQ(device->read_register8(0x0B), 0x03);
    EXPECT_EQ(device->read_register16(0x02), 0x0405);

    auto io = device->bar(0);
    EXPECT_TRUE(io.is_io);
    EXPECT_EQ(io.base_address, 0xC000u);
    auto memory = device->bar(1);
    EXPECT_FALSE(memory.is_io);
    EXPECT_EQ(memory.base_address, 0xE0000000u);
    EXPECT_EQ(memory.type, 2);
    EXPECT_TRUE(memory.prefetchable);

    device->enable_memory(true);
    EXPECT_EQ(f.get16(0x04), 0x0107);
    device->enable_memory(false);
    EXPECT_EQ(f.get16(0x04), 0x0100);
    // A 16-bit write to the upper half of a dword lands there, not in the lower half.
    device->write_register16(0x06, 0xBEEF);
    EXPECT_EQ(f.get16(0x06), 0xBEEF);
    EXPECT_EQ(f.get16(0x04), 0x0100);
}

TEST(PciNames, ToHexPadsToTheWidth)
{
    EXPECT_EQ(ascii(to_hex(0x15AD, 16)), "0x15AD");
    EXPECT_EQ(ascii(to_hex(0x405, 16)), "0x0405");
    EXPECT_EQ(ascii(to_hex(0xAB, 8)), "0xAB");
}

TEST_F(Pci, TheCommandListsOneRecordPerDeviceFoundWithItsSubclassName)
{
    space.add(0, 0, 0, 0x8086, 0x1237, 0x06);
    space.add(0, 2, 0, 0x15AD, 0x0405, 0x03);
    space.add(0, 3, 0, 0x8086, 0x7113, 0x06, 0x80); // a sub-class without a name
    space.add(0, 4, 0, 0x1234, 0x0005, 0x12, 1, 2); // a class without a name
    (void)PCI::enumerate();
    Kernel kernel { shell_commands() };
    Console::clear();
    ASSERT_FALSE(kernel.run_command("PCI", std::nullopt).is_error());
    char const* expected[] = {
        "Name: Bridge Device",
        "Sub-class name: Host Bridge",
        "Device 4663 is on bus 0",
        "Name: VMware NVIDIA 9500MGS",
        "Sub-class name: VGA Compatible Controller",
        "Device 1029 is on bus 0",
        "Name: Bridge Device",
        "Sub-class name: ClassCode: 6     Subclass: 128     ProgIF: 0",
        "Device 28947 is on bus 0",
        "Name: ClassCode: 18     Subclass: 1     ProgIF: 2",
        "Sub-class name: ClassCode: 18     Subclass: 1     ProgIF: 2",
        "Device 5 is on bus 0",
        "",
    };
    for (int row = 0; row < 13; ++row)
        EXPECT_EQ(machine.line(row), expected[row]) << "row " << row;
}
