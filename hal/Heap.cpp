#include "hal/Heap.h"

#include "arch/Cpu.h"
#include "arch/Runtime.h"
#include "hal/Debugger.h"

namespace {
void (*g_exhaustion_handler)(u32 size) = nullptr;
bool g_reporting_exhaustion = false;
}

void FreeListHeap::Initialize(uintptr_t start, uintptr_t end)
{
    m_start = (start + Alignment - 1) & ~(Alignment - 1);
    m_end = end & ~(Alignment - 1);
    m_free = nullptr;
    if (m_end > m_start + HeaderSize) {
        m_free = reinterpret_cast<Block*>(m_start);
        m_free->size = m_end - m_start;
        m_free->next = nullptr;
    }
    m_freeBytes = m_free ? m_free->size - HeaderSize : 0;
    m_usedBytes = 0;
}

size_t FreeListHeap::LargestFreeBlock() const
{
    size_t largest = 0;
    for (Block* block = m_free; block; block = block->next) {
        if (block->size - HeaderSize > largest)
            largest = block->size - HeaderSize;
    }
    return largest;
}

void* FreeListHeap::Allocate(size_t size)
{
    if (size > m_end - m_start)
        return nullptr;
    size_t needed = HeaderSize + ((size + Alignment - 1) & ~(Alignment - 1));
    Block** link = &m_free;
    for (Block* block = m_free; block; link = &block->next, block = block->next) {
        if (block->size < needed)
            continue;
        if (block->size - needed >= HeaderSize + Alignment) {
            auto* rest = reinterpret_cast<Block*>(reinterpret_cast<uintptr_t>(block) + needed);
            rest->size = block->size - needed;
            rest->next = block->next;
            *link = rest;
            block->size = needed;
            m_freeBytes -= needed;
        } else {
            *link = block->next;
            m_freeBytes -= block->size - HeaderSize;
        }
        block->taken = needed;
        m_usedBytes += needed;
        u8* payload = reinterpret_cast<u8*>(block) + HeaderSize;
        __builtin_memset(payload, 0, block->size - HeaderSize);
        return payload;
    }
    return nullptr;
}

void FreeListHeap::Free(void* pointer)
{
    if (!pointer)
        return;
    auto* block = reinterpret_cast<Block*>(static_cast<u8*>(pointer) - HeaderSize);
    m_freeBytes += block->size - HeaderSize;
    m_usedBytes -= block->taken;
    Block* previous = nullptr;
    Block* next = m_free;
    while (next && next < block) {
        previous = next;
        next = next->next;
    }
    block->next = next;
    if (next && reinterpret_cast<uintptr_t>(block) + block->size == reinterpret_cast<uintptr_t>(next)) {
        block->size += next->size;
        block->next = next->next;
        m_freeBytes += HeaderSize; // one header fewer
    }
    if (previous) {
        previous->next = block;
        if (reinterpret_cast<uintptr_t>(previous) + previous->size == reinterpret_cast<uintptr_t>(block)) {
            previous->size += block->size;
            previous->next = block->next;
            m_freeBytes += HeaderSize;
        }
    } else {
        m_free = block;
    }
}

FreeListHeap& Heap::Instance()
{
    static FreeListHeap heap;
    return heap;
}

void Heap::Initialize()
{
    static bool initialized = false;
    if (initialized)
        return;
    initialized = true;
    // GetAmountOfRAM counts whole MiB: the loader's upper memory (which
    // starts at 1 MiB) rounded down, plus the first MiB. The heap stops one
    // MiB below that figure, so it never reaches the top of memory, where
    // the firmware keeps its ACPI tables (QEMU at -m 128: RAM ends at
    // 0x07FE0000, the figure is 127 MiB, the heap ends at 126 MiB).
    u32 end = (GetAmountOfRAM() - 1) * 1024 * 1024;
    // From the end of the kernel image (its stack and BSS included): the
    // next multiple of 4 above it, a whole 4 when it is one already, then a
    // guard gap of 1 KiB. The free list rounds up to its 16-byte alignment.
    u32 start = GetEndOfKernel();
    start = start + 4 - (start % 4) + 1024;
    Instance().Initialize(start, end);
}

void* Heap::MemAlloc(u32 size)
{
    Initialize();
    void* block = Instance().Allocate(size);
    if (!block)
        ReportExhaustion(size);
    return block;
}

void* Heap::TryMemAlloc(u32 size)
{
    Initialize();
    if (Instance().FreeBytes() < ReserveBytes || size > Instance().FreeBytes() - ReserveBytes)
        return nullptr;
    return Instance().Allocate(size);
}

void Heap::Free(void* block) { Instance().Free(block); }

void Heap::set_exhaustion_handler(void (*handler)(u32 size)) { g_exhaustion_handler = handler; }

void Heap::ReportExhaustion(u32 size)
{
    // The report itself allocates; a failure while reporting stops at once.
    if (g_reporting_exhaustion)
        Cpu::halt_forever();
    g_reporting_exhaustion = true;
    if (g_exhaustion_handler)
        g_exhaustion_handler(size);
    Debugger::Send("Heap exhausted by a request of 0x" + String::hex(size, 8) + " bytes");
    Cpu::halt_forever();
}
