#pragma once

#include "base/Types.h"

// A first-fit free-list allocator over one range of memory. Freed blocks go
// back on an address-ordered list and merge with their neighbours, so a long
// session reuses memory instead of running out.
class FreeListHeap {
public:
    static constexpr size_t Alignment = 16;

    void initialize(uintptr_t start, uintptr_t end);
    // Zero-filled block of at least `size` bytes, or null when none fits.
    // The block starts on a multiple of `alignment` (a power of two): the
    // heap's own 16 bytes, or a page for memory the processor maps.
    void* allocate(size_t size, size_t alignment = Alignment);
    void free(void* block);
    size_t free_bytes() const { return m_free_bytes; }
    // Bytes the live allocations asked for, each rounded up and with its
    // header. A block may be handed out with a few bytes to spare when the
    // rest would be too small to keep; those are left out, so the figure
    // depends only on what is allocated, not on where: a long session that
    // frees what it takes comes back to the same figure.
    size_t used_bytes() const { return m_used_bytes; }
    // Payload of the biggest free block: the largest request that can
    // succeed now.
    size_t largest_free_block() const;
    uintptr_t start() const { return m_start; }
    uintptr_t end() const { return m_end; }

private:
    struct Block {
        size_t size;  // whole block, header included
        Block* next;  // next free block by address, while free
        size_t taken; // what the allocation counts in used_bytes, while allocated
    };
    static constexpr size_t HeaderSize = (sizeof(Block) + Alignment - 1) & ~(Alignment - 1);

    Block* m_free { nullptr };
    size_t m_free_bytes { 0 }; // payload bytes of the free blocks
    size_t m_used_bytes { 0 };
    uintptr_t m_start { 0 };
    uintptr_t m_end { 0 };
};

// The kernel heap: everything above the kernel image up to the last MiB of
// the memory the boot loader reported. It sets itself up at the first
// allocation: a global constructor's or the kernel object's.
namespace Heap {
void initialize();
void* mem_alloc(u32 size);
// Null instead of the exhaustion stop: for sizes that come from a disk or
// a user, whose callers report the failure and go on. It also fails
// when it would leave less than a small reserve, so the error can still
// be reported and the shell can go on allocating its lines and prompts.
void* try_mem_alloc(u32 size, u32 alignment = FreeListHeap::Alignment);
constexpr u32 ReserveBytes = 256 * 1024;
void free(void* block);
// Heap exhaustion is fatal: the handler the kernel installed tells the
// user (it may allocate: a failure inside it stops at once), the kernel
// log gets the size, and the machine stops.
[[noreturn]] void report_exhaustion(u32 size);
void set_exhaustion_handler(void (*handler)(u32 size));
FreeListHeap& instance();
}
