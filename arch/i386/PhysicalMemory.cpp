#include "arch/PhysicalMemory.h"

u8* PhysicalMemory::map(u32 base, u32 length)
{
    // A range that would run past 4 GiB wraps round to address 0: not there.
    if (static_cast<u64>(base) + length > 0x100000000ull)
        return nullptr;
    return reinterpret_cast<u8*>(static_cast<uintptr_t>(base));
}
