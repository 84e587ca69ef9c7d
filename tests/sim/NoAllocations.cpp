#include "tests/sim/Sim.h"

#include <cstdlib>
#include <new>

// The test program's operator new: the C library's heap, unless a
// NoAllocations is in force.

namespace {
bool s_refusing = false;
}

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
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc {};
}

void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
