// The kernel's operators new and delete, on the kernel heap. Only the kernel
// image links this file: the host programs keep the C++ library's operators
// and the unit tests the simulated machine's (tests/sim/Allocator.cpp).

#include "hal/Heap.h"

#include <new>

void* operator new(size_t size) { return Heap::MemAlloc(size); }
void* operator new[](size_t size) { return Heap::MemAlloc(size); }
// The tag of the fallible forms of new; there is no C++ library to hold it.
namespace std {
nothrow_t const nothrow {};
}

void* operator new(size_t size, std::nothrow_t const&) noexcept { return Heap::TryMemAlloc(size); }
void* operator new[](size_t size, std::nothrow_t const&) noexcept { return Heap::TryMemAlloc(size); }
void operator delete(void* block) noexcept { Heap::Free(block); }
void operator delete[](void* block) noexcept { Heap::Free(block); }
void operator delete(void* block, size_t) noexcept { Heap::Free(block); }
void operator delete[](void* block, size_t) noexcept { Heap::Free(block); }
