#include "hal/Acpi.h"

#include "arch/Port.h"
#include "hal/Debugger.h"
#include "hal/MemoryWindow.h"

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
    Debugger::send(
        "ACPI: table at 0x" + String::hex(address, 8) + " claims 0x" + String::hex(claimed, 8) + " bytes: skipped");
    return {};
}

// Whether the bytes at the physical address spell the text (a signature).
bool spells_at(u32 address, char const* text)
{
    return spells(MemoryWindow(address, static_cast<u32>(__builtin_strlen(text))), 0, text);
}

std::optional<u32> find_signature(u32 start, u32 end, bool checksummed)
{
    for (u32 address = start; address < end; address += 4) {
        if (spells_at(address, "RSD PTR ") && (!checksummed || ACPI::check_rsd(address)))
            return address;
    }
    return {};
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
    u16 a;
    u16 b;
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
    return SleepTypes { static_cast<u16>((a.value() & SleepTypeMask) << SleepTypeShift),
        static_cast<u16>((b.value() & SleepTypeMask) << SleepTypeShift) };
}

// The power-off values of the FACP at the address, when it and its DSDT are
// complete.
std::optional<ACPI::SleepControl> read_facp(u32 address)
{
    if (!spells_at(address, "FACP"))
        return {};
    auto facp = table_at(address, MaxTableLength);
    if (!facp)
        return {};
    auto dsdt_address = facp->read32(FacpDsdtOffset);
    if (dsdt_address.is_error() || !spells_at(dsdt_address.value(), "DSDT"))
        return {};
    auto dsdt = table_at(dsdt_address.value(), MaxTableLength);
    if (!dsdt)
        return {};
    u32 s5 = find_s5(*dsdt);
    if (!s5)
        return {};
    auto sleep = read_s5_package(*dsdt, s5);
    if (!sleep)
        return {};
    auto pm1a = facp->read32(FacpPm1aControlOffset);
    auto pm1b = facp->read32(FacpPm1bControlOffset);
    if (pm1a.is_error() || pm1b.is_error())
        return {};
    ACPI::SleepControl control { address, static_cast<u16>(pm1a.value()), {}, sleep->a, sleep->b };
    if (pm1b.value() != 0)
        control.pm1b_control = static_cast<u16>(pm1b.value());
    return control;
}

}

bool ACPI::check_rsd(u32 address)
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

std::optional<u32> ACPI::rsdp_address()
{
    if (auto found = find_signature(BiosAreaStart, BiosAreaEnd, true))
        return found;
    // The extended BIOS data area, from the segment the BIOS keeps at 0x40E.
    // Firmware there is trusted as it is: no checksum test.
    auto segment = MemoryWindow(EbdaSegmentPointer, 2).read16(0);
    u32 ebda = segment.is_error() ? 0 : static_cast<u32>(segment.value()) * 16;
    return find_signature(ebda, ebda + EbdaSearchLength, false);
}

ErrorOr<ACPI> ACPI::find()
{
    auto rsdp = rsdp_address();
    std::optional<u32> rsdt;
    if (rsdp)
        rsdt = u32_at(*rsdp + RsdtAddressOffset);
    std::optional<MemoryWindow> root;
    if (rsdt && *rsdt != 0 && spells_at(*rsdt, "RSDT"))
        root = table_at(*rsdt, MaxRootTableLength);
    if (!root) {
        Debugger::send("ACPI: no root table");
        return Error("no acpi.");
    }
    u32 entries = (root->length() - HeaderLength) / 4;
    for (u32 i = 0; i < entries; ++i) {
        auto table = root->read32(HeaderLength + i * 4);
        if (table.is_error())
            continue;
        if (auto control = read_facp(table.value())) {
            Debugger::send("ACPI: PM1a control at 0x" + String::hex(control->pm1a_control, 4) + ", S5 sleep type "
                + String::number(control->sleep_type_a >> SleepTypeShift));
            return ACPI(control);
        }
    }
    Debugger::send("ACPI: no FACP with a usable _S5_ package");
    return ACPI({});
}

void ACPI::power_off() const
{
    if (!m_control)
        return;
    Port::out16(m_control->pm1a_control, static_cast<u16>(m_control->sleep_type_a | SleepEnable));
    if (m_control->pm1b_control)
        Port::out16(*m_control->pm1b_control, static_cast<u16>(m_control->sleep_type_b | SleepEnable));
}
