#include "hal/PageFrames.h"

#include "arch/Paging.h"
#include "hal/Heap.h"

ErrorOr<u32> PageFrames::take(u32 bytes)
{
    // The kernel's memory is mapped one to one: a heap pointer is the
    // physical address.
    void* block = Heap::try_mem_alloc(bytes, Paging::PageSize);
    if (!block)
        return Error("Not enough memory");
    return static_cast<u32>(reinterpret_cast<uintptr_t>(block));
}

void PageFrames::give_back(u32 address) { Heap::free(reinterpret_cast<void*>(static_cast<uintptr_t>(address))); }
