// The input is firmware memory: it is planted at 0xE0000, the start of the
// BIOS area searched for the root pointer, over otherwise zeroed low memory,
// and the extended BIOS data area pointer names the same place, so a root
// pointer in its first KiB counts without a checksum. Tables point at each
// other by physical address; the region ends at 1 MiB, beyond which nothing
// is mapped.
//
// Whatever the tables say, a power-off set-up that succeeds has its sleep
// types in their three bits.

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

void check(ErrorOr<ACPI> const& acpi)
{
    constexpr u16 SleepTypeBits = 7 << 10;
    if (acpi.is_error() || !acpi.value().control())
        return;
    auto const& control = *acpi.value().control();
    if ((control.sleep_type_a & ~SleepTypeBits) || (control.sleep_type_b & ~SleepTypeBits))
        fail("a successful set-up kept values power-off cannot use");
}

}

extern "C" int LLVMFuzzerTestOneInput(u8 const* data, size_t size)
{
    static TestMachine g_machine;
    Sim::clear_accesses();
    Console::clear();
    u8* area = Sim::memory(BiosArea);
    std::memset(area, 0, BiosAreaSize);
    std::memcpy(area, data, std::min<size_t>(size, BiosAreaSize));
    u8* ebda = Sim::memory(EbdaSegmentPointer);
    ebda[0] = static_cast<u8>(BiosArea >> 4);
    ebda[1] = static_cast<u8>(BiosArea >> 12);
    check(ACPI::find());
    return 0;
}
