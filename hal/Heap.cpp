#include "hal/Heap.h"

#include "arch/Cpu.h"
#include "arch/Paging.h"
#include "arch/Runtime.h"
#include "hal/Debugger.h"

namespace {
void (*g_exhaustion_handler)(u32 size) = nullptr;
bool g_reporting_exhaustion = false;
}

void FreeListHeap::initialize(uintptr_t start, uintptr_t end)
{
    m_start = (start + Alignment - 1) & ~(Alignment - 1);
    m_end = end & ~(Alignment - 1);
    m_free = nullptr;
    if (m_end > m_start + HeaderSize) {
        m_free = reinterpret_cast<Block*>(m_start);
        m_free->size = m_end - m_start;
        m_free->next = nullptr;
    }
    m_free_bytes = m_free ? m_free->size - HeaderSize : 0;
    m_used_bytes = 0;
}

size_t FreeListHeap::largest_free_block() const
{
    size_t largest = 0;
    for (Block* block = m_free; block; block = block->next) {
        if (block->size - HeaderSize > largest)
            largest = block->size - HeaderSize;
    }
    return largest;
}

void* FreeListHeap::allocate(size_t size, size_t alignment)
{
    if (size > m_end - m_start)
        return nullptr;
    size_t needed = HeaderSize + ((size + Alignment - 1) & ~(Alignment - 1));
    Block** link = &m_free;
    for (Block* block = m_free; block; link = &block->next, block = block->next) {
        uintptr_t begin = reinterpret_cast<uintptr_t>(block);
        uintptr_t end = begin + block->size;
        // The header goes right below an aligned payload. Blocks start on
        // the heap's own alignment, so only a coarser one leaves a gap, and
        // the gap must hold a free block of its own.
        uintptr_t header = ((begin + HeaderSize + alignment - 1) & ~(alignment - 1)) - HeaderSize;
        if (header != begin && header - begin < HeaderSize + Alignment)
            header += alignment;
        if (header >= end || end - header < needed)
            continue;
        if (header != begin) {
            auto* aligned = reinterpret_cast<Block*>(header);
            aligned->size = end - header;
            aligned->next = block->next;
            block->size = header - begin;
            block->next = aligned;
            m_free_bytes -= HeaderSize; // one header more
            link = &block->next;
            block = aligned;
        }
        if (block->size - needed >= HeaderSize + Alignment) {
            auto* rest = reinterpret_cast<Block*>(reinterpret_cast<uintptr_t>(block) + needed);
            rest->size = block->size - needed;
            rest->next = block->next;
            *link = rest;
            block->size = needed;
            m_free_bytes -= needed;
        } else {
            *link = block->next;
            m_free_bytes -= block->size - HeaderSize;
        }
        block->taken = needed;
        m_used_bytes += needed;
        u8* payload = reinterpret_cast<u8*>(block) + HeaderSize;
        __builtin_memset(payload, 0, block->size - HeaderSize);
        return payload;
    }
    return nullptr;
}

void FreeListHeap::free(void* pointer)
{
    if (!pointer)
        return;
    auto* block = reinterpret_cast<Block*>(static_cast<u8*>(pointer) - HeaderSize);
    m_free_bytes += block->size - HeaderSize;
    m_used_bytes -= block->taken;
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
        m_free_bytes += HeaderSize; // one header fewer
    }
    if (previous) {
        previous->next = block;
        if (reinterpret_cast<uintptr_t>(previous) + previous->size == reinterpret_cast<uintptr_t>(block)) {
            previous->size += block->size;
            previous->next = block->next;
            m_free_bytes += HeaderSize;
        }
    } else {
        m_free = block;
    }
}

FreeListHeap& Heap::instance()
{
    static FreeListHeap g_heap;
    return g_heap;
}

void Heap::initialize()
{
    static bool g_initialized = false;
    if (g_initialized)
        return;
    g_initialized = true;
    // get_amount_of_ram counts whole MiB: the loader's upper memory (which
    // starts at 1 MiB) rounded down, plus the first MiB. The heap stops one
    // MiB below that figure, so it never reaches the top of memory, where
    // the firmware keeps its ACPI tables (QEMU at -m 128: RAM ends at
    // 0x07FE0000, the figure is 127 MiB, the heap ends at 126 MiB).
    u32 end = (get_amount_of_ram() - 1) * 1024 * 1024;
    // Programs' high range lies above; on a machine with more memory the
    // rest goes unused.
    if (end > Paging::HighProgramBase)
        end = Paging::HighProgramBase;
    // From the end of the kernel image (its stack and BSS included): the
    // next multiple of 4 above it, a whole 4 when it is one already, then a
    // guard gap of 1 KiB. The free list rounds up to its 16-byte alignment.
    u32 start = get_end_of_kernel();
    start = start + 4 - (start % 4) + 1024;
    instance().initialize(start, end);
}

void* Heap::mem_alloc(u32 size)
{
    initialize();
    void* block = instance().allocate(size);
    if (!block)
        report_exhaustion(size);
    return block;
}

void* Heap::try_mem_alloc(u32 size, u32 alignment)
{
    initialize();
    if (instance().free_bytes() < ReserveBytes || size > instance().free_bytes() - ReserveBytes)
        return nullptr;
    return instance().allocate(size, alignment);
}

void Heap::free(void* block) { instance().free(block); }

void Heap::set_exhaustion_handler(void (*handler)(u32 size)) { g_exhaustion_handler = handler; }

void Heap::report_exhaustion(u32 size)
{
    // The report itself allocates; a failure while reporting stops at once.
    if (g_reporting_exhaustion)
        Cpu::halt_forever();
    g_reporting_exhaustion = true;
    if (g_exhaustion_handler)
        g_exhaustion_handler(size);
    Debugger::send("Heap exhausted by a request of 0x" + String::hex(size, 8) + " bytes");
    Cpu::halt_forever();
}
