#include "hal/Acpi.h"

#include "arch/Port.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/MemoryWindow.h"

u32 ACPI::Facp = 0;
u32 ACPI::PM1a_CNT = 0;
u32 ACPI::PM1b_CNT = 0;
i16 ACPI::SLP_TYPa = 0;
i16 ACPI::SLP_TYPb = 0;
i16 ACPI::SLP_EN = 0;
std::optional<u16> ACPI::pm1aIO;
std::optional<u16> ACPI::pm1bIO;

namespace {

constexpr u32 BiosAreaStart = 0xE0000;
constexpr u32 BiosAreaEnd = 0x100000;
constexpr u32 EbdaSegmentPointer = 0x40E;
constexpr u32 EbdaSearchLength = 0x400;
constexpr u32 RsdpChecksummedLength = 20;
constexpr u32 RsdtAddressOffset = 16;
constexpr u32 HeaderLength = 36;
constexpr u32 TableLengthOffset = 4;
constexpr u32 FacpDsdtOffset = 40;
constexpr u32 FacpPm1aControlOffset = 64;
constexpr u32 FacpPm1bControlOffset = 68;
// Firmware gets table lengths wrong, and a walk trusting 0xFFFFFFFF would
// read memory for minutes. A root table lists a few dozen tables; the
// largest DSDTs run to a few hundred KiB.
constexpr u32 MaxRootTableLength = 0x1000;
constexpr u32 MaxTableLength = 0x100000;

constexpr u8 NameOp = 0x08;
constexpr u8 RootPrefix = 0x5C;
constexpr u8 PackageOp = 0x12;
constexpr u8 BytePrefix = 0x0A;
constexpr i16 SleepEnable = 0x2000;
constexpr int SleepTypeShift = 10;
constexpr u8 SleepTypeMask = 7;

// Firmware tables are read by physical address. Memory that cannot be read
// (beyond the end of the address space, or not backed in the simulated
// machine) reads as absent, which every caller treats like a table that is
// not there.
std::optional<u8> byte_at(u32 address)
{
    auto value = MemoryWindow(address, 1).read8(0);
    if (value.is_error())
        return {};
    return value.value();
}

std::optional<u32> u32_at(u32 address)
{
    auto value = MemoryWindow(address, 4).read32(0);
    if (value.is_error())
        return {};
    return value.value();
}

bool byte_is(MemoryWindow const& memory, u32 offset, u8 expected)
{
    auto value = memory.read8(offset);
    return !value.is_error() && value.value() == expected;
}

bool spells(MemoryWindow const& memory, u32 offset, char const* text)
{
    for (u32 i = 0; text[i]; ++i) {
        if (!byte_is(memory, offset + i, static_cast<u8>(text[i])))
            return false;
    }
    return true;
}

// The table at the address as a window of exactly the length its header
// claims, or nothing when that length is shorter than the header, beyond
// `limit`, or runs past the memory there is: such a table is skipped like
// one with the wrong signature.
std::optional<MemoryWindow> table_at(u32 address, u32 limit)
{
    auto length = MemoryWindow(address, HeaderLength).read32(TableLengthOffset);
    if (length.is_error())
        return {};
    u32 claimed = length.value();
    if (claimed >= HeaderLength && claimed <= limit) {
        MemoryWindow table(address, claimed);
        if (table.length() == claimed)
            return table;
    }
    Debugger::Send("ACPI: table at 0x" + String::hex(address, 8) + " claims 0x" + String::hex(claimed, 8)
        + " bytes: skipped");
    return {};
}

u32 find_signature(u32 start, u32 end, bool checksummed)
{
    for (u32 address = start; address < end; address += 4) {
        if (ACPI::Compare("RSD PTR ", address) == 0 && (!checksummed || ACPI::Check_RSD(address)))
            return address;
    }
    return 0;
}

// Offset of the "_S5_" name inside the DSDT's definition block, or 0. A
// match on the block's very last byte does not count: its package could not
// follow it.
u32 find_s5(MemoryWindow const& dsdt)
{
    u32 s = HeaderLength;
    u32 remaining = dsdt.length() - HeaderLength;
    while (remaining > 0) {
        --remaining;
        if (spells(dsdt, s, "_S5_"))
            break;
        ++s;
    }
    return remaining > 0 ? s : 0;
}

struct SleepTypes {
    i16 a;
    i16 b;
};

// `Name (_S5_, Package () { a, b, ... })` or with a root prefix `\_S5_`.
// The elements are either bare constants (Zero, One) or ByteConst values
// behind the 0x0A prefix.
std::optional<SleepTypes> read_s5_package(MemoryWindow const& dsdt, u32 s)
{
    bool named = byte_is(dsdt, s - 1, NameOp) || (byte_is(dsdt, s - 2, NameOp) && byte_is(dsdt, s - 1, RootPrefix));
    if (!named || !byte_is(dsdt, s + 4, PackageOp))
        return {};
    s += 5;
    auto lead = dsdt.read8(s);
    if (lead.is_error())
        return {};
    // The package length's lead byte says how many more length bytes follow;
    // then comes the element count.
    s += ((lead.value() & 0xC0) >> 6) + 2;
    if (byte_is(dsdt, s, BytePrefix))
        ++s;
    auto a = dsdt.read8(s);
    ++s;
    if (byte_is(dsdt, s, BytePrefix))
        ++s;
    auto b = dsdt.read8(s);
    if (a.is_error() || b.is_error())
        return {};
    // The field holds three bits: more would reach the enable bit and the
    // reserved bits beside it.
    return SleepTypes { static_cast<i16>((a.value() & SleepTypeMask) << SleepTypeShift),
        static_cast<i16>((b.value() & SleepTypeMask) << SleepTypeShift) };
}

}

i32 ACPI::Compare(char const* text, u32 address)
{
    return spells(MemoryWindow(address, static_cast<u32>(__builtin_strlen(text))), 0, text) ? 0 : -1;
}

i32 ACPI::acpiCheckHeader(u32 address, char const* signature) { return Compare(signature, address); }

bool ACPI::Check_RSD(u32 address)
{
    u8 sum = 0;
    for (u32 i = 0; i < RsdpChecksummedLength; ++i) {
        auto value = byte_at(address + i);
        if (!value)
            return false;
        sum = static_cast<u8>(sum + *value);
    }
    return sum == 0;
}

u32 ACPI::RSDPAddress()
{
    if (u32 found = find_signature(BiosAreaStart, BiosAreaEnd, true))
        return found;
    // The extended BIOS data area, from the segment the BIOS keeps at 0x40E.
    // Firmware there is trusted as it is: no checksum test.
    auto segment = MemoryWindow(EbdaSegmentPointer, 2).read16(0);
    u32 ebda = segment.is_error() ? 0 : static_cast<u32>(segment.value()) * 16;
    return find_signature(ebda, ebda + EbdaSearchLength, false);
}

void ACPI::Forget()
{
    Facp = PM1a_CNT = PM1b_CNT = 0;
    SLP_TYPa = SLP_TYPb = SLP_EN = 0;
    pm1aIO.reset();
    pm1bIO.reset();
}

bool ACPI::TryFacp(u32 address)
{
    if (acpiCheckHeader(address, "FACP") != 0)
        return false;
    auto facp = table_at(address, MaxTableLength);
    if (!facp)
        return false;
    auto dsdt_address = facp->read32(FacpDsdtOffset);
    if (dsdt_address.is_error() || acpiCheckHeader(dsdt_address.value(), "DSDT") != 0)
        return false;
    auto dsdt = table_at(dsdt_address.value(), MaxTableLength);
    if (!dsdt)
        return false;
    u32 s5 = find_s5(*dsdt);
    if (!s5)
        return false;
    auto sleep = read_s5_package(*dsdt, s5);
    if (!sleep)
        return false;
    auto pm1a = facp->read32(FacpPm1aControlOffset);
    auto pm1b = facp->read32(FacpPm1bControlOffset);
    if (pm1a.is_error() || pm1b.is_error())
        return false;
    Facp = address;
    SLP_TYPa = sleep->a;
    SLP_TYPb = sleep->b;
    PM1a_CNT = pm1a.value();
    PM1b_CNT = pm1b.value();
    SLP_EN = SleepEnable;
    pm1aIO = static_cast<u16>(PM1a_CNT);
    pm1bIO = static_cast<u16>(PM1b_CNT);
    return true;
}

i32 ACPI::Init()
{
    Forget();
    u32 rsdp = RSDPAddress();
    std::optional<u32> rsdt;
    if (rsdp)
        rsdt = u32_at(rsdp + RsdtAddressOffset);
    std::optional<MemoryWindow> root;
    if (rsdt && *rsdt != 0 && acpiCheckHeader(*rsdt, "RSDT") == 0)
        root = table_at(*rsdt, MaxRootTableLength);
    if (!root) {
        Debugger::Send("ACPI: no root table");
        (void)Console::Write("no acpi.\n");
        return -1;
    }
    u32 entries = (root->length() - HeaderLength) / 4;
    for (u32 i = 0; i < entries; ++i) {
        auto table = root->read32(HeaderLength + i * 4);
        if (!table.is_error() && TryFacp(table.value())) {
            Debugger::Send("ACPI: PM1a control at 0x" + String::hex(PM1a_CNT, 4) + ", S5 sleep type "
                + String::number(SLP_TYPa >> SleepTypeShift));
            return 0;
        }
    }
    Debugger::Send("ACPI: no FACP with a usable _S5_ package");
    return -1;
}

ErrorOr<void> ACPI::Shutdown()
{
    Console::Clear();
    if (PM1a_CNT == 0)
        (void)Init();
    if (pm1aIO) {
        Port::out16(*pm1aIO, static_cast<u16>(SLP_TYPa | SLP_EN));
        if (PM1b_CNT != 0)
            Port::out16(*pm1bIO, static_cast<u16>(SLP_TYPb | SLP_EN));
    }
    return Console::Write("It is now safe to turn off your computer");
}
