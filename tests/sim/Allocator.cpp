#include "tests/sim/Sim.h"

#include <cstdlib>
#include <new>

// The test program's operator new: the C library's heap, unless a
// NoAllocations is in force. The fallible (nothrow) forms that the code
// under test uses for buffers sized by a disk or a user also fail above a
// limit a test sets, like a kernel heap that has run out.

namespace {
bool g_refusing = false;
size_t g_fallible_limit = static_cast<size_t>(-1);
u64 g_live = 0;

void* counted(void* block)
{
    if (block)
        ++g_live;
    return block;
}

void release(void* block)
{
    if (block)
        --g_live;
    std::free(block);
}
}

void Sim::set_fallible_allocation_limit(size_t bytes) { g_fallible_limit = bytes; }
u64 Sim::live_allocations() { return g_live; }

Sim::NoAllocations::NoAllocations() { g_refusing = true; }
Sim::NoAllocations::~NoAllocations() { g_refusing = false; }

Sim::NoAllocations::MachineSide::MachineSide()
    : m_was_refusing(g_refusing)
{
    g_refusing = false;
}

Sim::NoAllocations::MachineSide::~MachineSide() { g_refusing = m_was_refusing; }

void* operator new(std::size_t size)
{
    if (g_refusing) {
        // Lifted at once, so nothing on the way back to the test is refused.
        g_refusing = false;
        throw Sim::AllocationRefused {};
    }
    if (void* block = counted(std::malloc(size ? size : 1)))
        return block;
    throw std::bad_alloc {};
}

void* operator new[](std::size_t size) { return ::operator new(size); }

void* operator new(std::size_t size, std::nothrow_t const&) noexcept
{
    if (g_refusing || size > g_fallible_limit)
        return nullptr;
    return counted(std::malloc(size ? size : 1));
}

void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
