#include "arch/PhysicalMemory.h"

u8* PhysicalMemory::map(u32 base, u32)
{
    return reinterpret_cast<u8*>(static_cast<uintptr_t>(base));
}
