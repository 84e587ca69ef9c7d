// The input is firmware memory: it is planted at 0xE0000, the start of the
// BIOS area searched for the root pointer, over otherwise zeroed low memory,
// and the extended BIOS data area pointer names the same place, so a root
// pointer in its first KiB counts without a checksum. Tables point at each
// other by physical address; the region ends at 1 MiB, beyond which nothing
// is mapped.
//
// Whatever the tables say, the power-off set-up either succeeds with the
// enable bit and a sleep type in its three bits, or keeps nothing.

#include "hal/Acpi.h"
#include "tests/sim/TestMachine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr u32 BiosArea = 0xE0000;
constexpr u32 BiosAreaSize = 0x20000;
constexpr u32 EbdaSegmentPointer = 0x40E;

[[noreturn]] void fail(char const* what)
{
    std::fprintf(stderr, "acpi fuzzer: %s\n", what);
    std::abort();
}

void check(i32 result)
{
    constexpr i16 SleepTypeBits = 7 << 10;
    if (result == 0) {
        if (ACPI::SLP_EN != 0x2000 || !ACPI::pm1aIO || (ACPI::SLP_TYPa & ~SleepTypeBits)
            || (ACPI::SLP_TYPb & ~SleepTypeBits))
            fail("a successful set-up kept values power-off cannot use");
    } else if (ACPI::Facp || ACPI::PM1a_CNT || ACPI::SLP_EN || ACPI::pm1aIO) {
        fail("a failed set-up kept values");
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(u8 const* data, size_t size)
{
    static TestMachine machine;
    Sim::clear_accesses();
    Console::Clear();
    u8* area = Sim::memory(BiosArea);
    std::memset(area, 0, BiosAreaSize);
    std::memcpy(area, data, std::min<size_t>(size, BiosAreaSize));
    u8* ebda = Sim::memory(EbdaSegmentPointer);
    ebda[0] = static_cast<u8>(BiosArea >> 4);
    ebda[1] = static_cast<u8>(BiosArea >> 12);
    check(ACPI::Init());
    return 0;
}
