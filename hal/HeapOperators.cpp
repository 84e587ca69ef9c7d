// The kernel's operators new and delete, on the kernel heap. Only the kernel
// image links this file: the host programs keep the C++ library's operators
// and the unit tests the simulated machine's (tests/sim/Allocator.cpp).

#include "hal/Heap.h"

#include <new>

void* operator new(size_t size) { return Heap::mem_alloc(size); }
void* operator new[](size_t size) { return Heap::mem_alloc(size); }
// The tag of the fallible forms of new; there is no C++ library to hold it.
namespace std {
nothrow_t const nothrow {};
}

void* operator new(size_t size, std::nothrow_t const&) noexcept { return Heap::try_mem_alloc(size); }
void* operator new[](size_t size, std::nothrow_t const&) noexcept { return Heap::try_mem_alloc(size); }
void operator delete(void* block) noexcept { Heap::free(block); }
void operator delete[](void* block) noexcept { Heap::free(block); }
void operator delete(void* block, size_t) noexcept { Heap::free(block); }
void operator delete[](void* block, size_t) noexcept { Heap::free(block); }
