#include "hal/Acpi.h"
#include "base/StdString.h"
#include "kernel/Kernel.h"
#include "tests/sim/TestMachine.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr u32 TablesBase = 0x07FE0000;
constexpr u32 Rsdt = TablesBase;
constexpr u32 Facp = TablesBase + 0x100;
constexpr u32 Dsdt = TablesBase + 0x200;
constexpr u32 Other = TablesBase + 0x800;

void put32(u32 address, u32 value)
{
    u8* p = Sim::memory(address);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<u8>(value >> (8 * i));
}

void put_bytes(u32 address, std::vector<u8> const& bytes)
{
    std::memcpy(Sim::memory(address), bytes.data(), bytes.size());
}

void header(u32 address, char const* signature, u32 length)
{
    std::memcpy(Sim::memory(address), signature, 4);
    put32(address + 4, length);
}

// A root pointer whose first 20 bytes add up to 0, or deliberately not.
void plant_rsdp(u32 address, u32 rsdt, bool valid_checksum = true)
{
    std::memcpy(Sim::memory(address), "RSD PTR ", 8);
    put32(address + 16, rsdt);
    u8 sum = 0;
    for (int i = 0; i < 20; ++i)
        sum = static_cast<u8>(sum + Sim::memory(address)[i]);
    Sim::memory(address)[8] = static_cast<u8>(-sum + (valid_checksum ? 0 : 1));
}

// RSDT -> [an unrelated table, FACP] -> DSDT holding `aml` after its header,
// in `mapped` bytes of memory.
void plant_tables(std::vector<u8> const& aml, u32 pm1a = 0x604, u32 pm1b = 0, u32 mapped = 0x1000)
{
    Sim::map_memory(TablesBase, mapped);
    header(Rsdt, "RSDT", 36 + 8);
    put32(Rsdt + 36, Other);
    put32(Rsdt + 40, Facp);
    header(Other, "APIC", 44);
    header(Facp, "FACP", 116);
    put32(Facp + 40, Dsdt);
    put32(Facp + 64, pm1a);
    put32(Facp + 68, pm1b);
    header(Dsdt, "DSDT", static_cast<u32>(36 + aml.size()));
    put_bytes(Dsdt + 36, aml);
}

// Some unrelated AML before the sleep-state package, as in real tables.
std::vector<u8> with_s5(std::vector<u8> const& package)
{
    std::vector<u8> aml = { 0x10, 0x05, 0x5F, 0x53, 0x42, 0x5F, 0xA3 };
    for (u8 byte : package)
        aml.push_back(byte);
    aml.resize(aml.size() + 4, 0xA3);
    return aml;
}

std::vector<u8> const BytePrefixedS5
    = { 0x08, '_', 'S', '5', '_', 0x12, 0x0A, 0x04, 0x0A, 0x05, 0x0A, 0x07, 0x00, 0x00 };
std::vector<u8> const BareRootS5 = { 0x08, 0x5C, '_', 'S', '5', '_', 0x12, 0x06, 0x04, 0x05, 0x07, 0x00, 0x00 };

// What the tables give for power-off: nothing when there are none or they
// are incomplete.
std::optional<ACPI::SleepControl> sleep_control()
{
    auto acpi = ACPI::find();
    if (acpi.is_error())
        return {};
    return acpi.value().control();
}

bool has_root_table() { return !ACPI::find().is_error(); }

}

TEST(Acpi, ReadsSleepTypesFromBytePrefixedAndBarePackagesAlike)
{
    for (auto const& package : { BytePrefixedS5, BareRootS5 }) {
        Sim::reset();
        plant_rsdp(0xF5A30, Rsdt);
        plant_tables(with_s5(package), 0xB004, 0xB008);
        auto control = sleep_control();
        ASSERT_TRUE(control.has_value());
        EXPECT_EQ(control->facp, Facp);
        EXPECT_EQ(control->sleep_type_a, 5 << 10);
        EXPECT_EQ(control->sleep_type_b, 7 << 10);
        EXPECT_EQ(control->pm1a_control, 0xB004u);
        EXPECT_EQ(control->pm1b_control, 0xB008u);
    }
}

TEST(Acpi, SleepTypesKeepToTheirThreeBitField)
{
    // A value wider than the three bits of the PM1 control field would set
    // the enable bit and reserved bits in the power-off write (found by the
    // ACPI fuzzer: 0xB0).
    Sim::reset();
    plant_rsdp(0xF0000, Rsdt);
    plant_tables(with_s5({ 0x08, '_', 'S', '5', '_', 0x12, 0x0A, 0x04, 0x0A, 0xB5, 0x0A, 0xFF, 0x00, 0x00 }));
    auto control = sleep_control();
    ASSERT_TRUE(control.has_value());
    EXPECT_EQ(control->sleep_type_a, 5 << 10);
    EXPECT_EQ(control->sleep_type_b, 7 << 10);
}

TEST(Acpi, PackageMustFollowANameOp)
{
    Sim::reset();
    plant_rsdp(0xE0000, Rsdt);
    // "_S5_" appearing inside some other object is not the sleep package.
    plant_tables(with_s5({ 0x0D, '_', 'S', '5', '_', 0x12, 0x06, 0x04, 0x05, 0x07 }));
    EXPECT_TRUE(has_root_table());
    EXPECT_FALSE(sleep_control().has_value());
}

TEST(Acpi, SkipsRootPointersWithABadChecksumInTheBiosArea)
{
    Sim::reset();
    plant_rsdp(0xE0000, 0x1234, false);
    plant_rsdp(0xE0010, Rsdt);
    EXPECT_EQ(ACPI::rsdp_address(), 0xE0010u);
    EXPECT_FALSE(ACPI::check_rsd(0xE0000));
    EXPECT_TRUE(ACPI::check_rsd(0xE0010));
}

TEST(Acpi, TakesTheExtendedBiosDataAreaPointerWithoutChecksum)
{
    Sim::reset();
    put32(0x40E, 0x9FC0);
    plant_rsdp(0x9FC00 + 0x20, Rsdt, false);
    plant_tables(with_s5(BytePrefixedS5));
    EXPECT_EQ(ACPI::rsdp_address(), 0x9FC20u);
    EXPECT_TRUE(sleep_control().has_value());

    // Only the first KiB of the area is searched.
    Sim::reset();
    put32(0x40E, 0x9FC0);
    plant_rsdp(0x9FC00 + 0x400, Rsdt);
    EXPECT_FALSE(ACPI::rsdp_address().has_value());

    // The segment is a 16-bit word: a BIOS data area that ends right after
    // it still gives it.
    Sim::reset();
    u8* bios_data = Sim::map_memory(0x400, 0x10);
    bios_data[0x0E] = 0xC0;
    bios_data[0x0F] = 0x9F;
    plant_rsdp(0x9FC00 + 0x20, Rsdt, false);
    EXPECT_EQ(ACPI::rsdp_address(), 0x9FC20u);
}

TEST(Acpi, ShutdownWritesSleepTypeAndEnableToBothControlPorts)
{
    TestMachine machine;
    plant_rsdp(0xF0000, Rsdt);
    plant_tables(with_s5(BytePrefixedS5), 0x604, 0x608);
    ASSERT_FALSE(Kernel::shutdown().is_error());
    auto a = Sim::writes_to(0x604);
    auto b = Sim::writes_to(0x608);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].width, 16);
    EXPECT_EQ(a[0].value, (5u << 10) | 0x2000);
    EXPECT_EQ(b[0].value, (7u << 10) | 0x2000);
    // A machine that ignores the request is left with the fallback text.
    EXPECT_EQ(machine.line(0), "It is now safe to turn off your computer");
}

TEST(Acpi, ShutdownSkipsAnAbsentPm1bBlock)
{
    TestMachine machine;
    plant_rsdp(0xF0000, Rsdt);
    plant_tables(with_s5(BareRootS5), 0x604, 0);
    auto acpi = ACPI::find();
    ASSERT_FALSE(acpi.is_error());
    EXPECT_FALSE(acpi.value().control()->pm1b_control.has_value());
    Sim::clear_accesses();
    acpi.value().power_off();
    ASSERT_EQ(Sim::writes_to(0x604).size(), 1u);
    for (auto const& access : Sim::accesses())
        EXPECT_FALSE(access.write && access.width == 16 && access.port != 0x604) << "port " << access.port;
}

TEST(Acpi, WithoutTablesShutdownClearsTheScreenAndExplains)
{
    TestMachine machine;
    (void)Console::write_line("old text");
    auto acpi = ACPI::find();
    ASSERT_TRUE(acpi.is_error());
    EXPECT_EQ(ascii(acpi.error().message()), "no acpi.");
    Sim::clear_accesses();
    ASSERT_FALSE(Kernel::shutdown().is_error());
    EXPECT_EQ(machine.line(0), "no acpi.");
    EXPECT_EQ(machine.line(1), "It is now safe to turn off your computer");
    EXPECT_EQ(machine.line(2), "");
    for (auto const& access : Sim::accesses())
        EXPECT_FALSE(access.write && access.width == 16) << "port " << access.port;
}

TEST(Acpi, IncompleteTablesFailWithoutAMessage)
{
    TestMachine machine;
    plant_rsdp(0xF0000, Rsdt);
    // A "_S5_" name cut off before its package.
    plant_tables({ 0x10, 0x05, 0x5F, 0x53, 0x42, 0x5F, 0xA3, 0x08, '_', 'S', '5', '_' });
    EXPECT_TRUE(has_root_table());
    EXPECT_FALSE(sleep_control().has_value());
    ASSERT_FALSE(Kernel::shutdown().is_error());
    EXPECT_EQ(machine.line(0), "It is now safe to turn off your computer");

    // A root table whose signature is wrong counts as no ACPI at all.
    header(Rsdt, "XSDT", 44);
    EXPECT_FALSE(has_root_table());
    ASSERT_FALSE(Kernel::shutdown().is_error());
    EXPECT_EQ(machine.line(0), "no acpi.");
}

TEST(Acpi, TablesClaimingMoreThanTheMemoryOrAnyTableHoldsAreSkipped)
{
    TestMachine machine;
    plant_rsdp(0xF0000, Rsdt);
    plant_tables(with_s5(BytePrefixedS5), 0x604, 0, 0x400000);
    ASSERT_TRUE(sleep_control().has_value());
    // Such a root table counts as none at all.
    for (u32 claimed : { 0xFFFFFFFFu, 0x2000u }) {
        put32(Rsdt + 4, claimed);
        auto acpi = ACPI::find();
        ASSERT_TRUE(acpi.is_error()) << claimed;
        EXPECT_EQ(ascii(acpi.error().message()), "no acpi.") << claimed;
    }
    // Such a DSDT leaves its FACP unusable, without a message.
    put32(Rsdt + 4, 44);
    for (u32 claimed : { 0xFFFFFFFFu, 0x200000u }) {
        put32(Dsdt + 4, claimed);
        EXPECT_TRUE(has_root_table()) << claimed;
        EXPECT_FALSE(sleep_control().has_value()) << claimed;
    }
}
