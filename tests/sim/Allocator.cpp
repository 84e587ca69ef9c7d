#include "tests/sim/Sim.h"

#include <cstdlib>
#include <new>

// The test program's operator new: the C library's heap, unless a
// NoAllocations is in force. The fallible (nothrow) forms that the code
// under test uses for buffers sized by a disk or a user also fail above a
// limit a test sets, like a kernel heap that has run out.

namespace {
bool s_refusing = false;
size_t s_fallibleLimit = static_cast<size_t>(-1);
u64 s_live = 0;

void* counted(void* block)
{
    if (block)
        ++s_live;
    return block;
}

void release(void* block)
{
    if (block)
        --s_live;
    std::free(block);
}
}

void Sim::set_fallible_allocation_limit(size_t bytes) { s_fallibleLimit = bytes; }
u64 Sim::live_allocations() { return s_live; }

Sim::NoAllocations::NoAllocations() { s_refusing = true; }
Sim::NoAllocations::~NoAllocations() { s_refusing = false; }

Sim::NoAllocations::MachineSide::MachineSide()
    : m_wasRefusing(s_refusing)
{
    s_refusing = false;
}

Sim::NoAllocations::MachineSide::~MachineSide() { s_refusing = m_wasRefusing; }

void* operator new(std::size_t size)
{
    if (s_refusing) {
        // Lifted at once, so nothing on the way back to the test is refused.
        s_refusing = false;
        throw Sim::AllocationRefused {};
    }
    if (void* block = counted(std::malloc(size ? size : 1)))
        return block;
    throw std::bad_alloc {};
}

void* operator new[](std::size_t size) { return ::operator new(size); }

void* operator new(std::size_t size, std::nothrow_t const&) noexcept
{
    if (s_refusing || size > s_fallibleLimit)
        return nullptr;
    return counted(std::malloc(size ? size : 1));
}

void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
