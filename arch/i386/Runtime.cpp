// What a freestanding C++ image needs from a runtime: the memory functions
// the compiler may call and the start of global constructors before the
// kernel object is made. (The operators new and delete are the kernel heap's,
// in hal/HeapOperators.cpp.)

#include "arch/Runtime.h"
#include "arch/Cpu.h"

extern "C" {

// Plain 32-bit word loops: under emulation they run several times faster
// than REP MOVS and REP STOS, and whole files and screens go through here. The
// attribute keeps the compiler from turning the loops back into calls to
// these very functions.
#define PLAIN_LOOPS __attribute__((optimize("no-tree-loop-distribute-patterns")))

PLAIN_LOOPS void* memcpy(void* destination, void const* source, size_t length)
{
    auto* d = static_cast<u8*>(destination);
    auto const* s = static_cast<u8 const*>(source);
    size_t i = 0;
    if (((reinterpret_cast<u32>(d) | reinterpret_cast<u32>(s)) & 3) == 0) {
        // Eight words a round: under emulation the loop's own test and jump
        // cost as much as the copy.
        for (; i + 32 <= length; i += 32) {
            auto* to = reinterpret_cast<u32*>(d + i);
            auto const* from = reinterpret_cast<u32 const*>(s + i);
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
            to[3] = from[3];
            to[4] = from[4];
            to[5] = from[5];
            to[6] = from[6];
            to[7] = from[7];
        }
        for (; i + 4 <= length; i += 4)
            *reinterpret_cast<u32*>(d + i) = *reinterpret_cast<u32 const*>(s + i);
    }
    for (; i < length; ++i)
        d[i] = s[i];
    return destination;
}

PLAIN_LOOPS void* memmove(void* destination, void const* source, size_t length)
{
    auto* d = static_cast<u8*>(destination);
    auto const* s = static_cast<u8 const*>(source);
    if (d <= s || d >= s + length)
        return memcpy(destination, source, length); // copies front to back
    for (size_t i = length; i > 0; --i)
        d[i - 1] = s[i - 1];
    return destination;
}

PLAIN_LOOPS void* memset(void* destination, int value, size_t length)
{
    auto* d = static_cast<u8*>(destination);
    u8 byte = static_cast<u8>(value);
    size_t i = 0;
    if ((reinterpret_cast<u32>(d) & 3) == 0) {
        u32 word = byte * 0x01010101u;
        for (; i + 32 <= length; i += 32) {
            auto* to = reinterpret_cast<u32*>(d + i);
            to[0] = to[1] = to[2] = to[3] = to[4] = to[5] = to[6] = to[7] = word;
        }
        for (; i + 4 <= length; i += 4)
            *reinterpret_cast<u32*>(d + i) = word;
    }
    for (; i < length; ++i)
        d[i] = byte;
    return destination;
}

int memcmp(void const* a, void const* b, size_t length)
{
    auto const* x = static_cast<u8 const*>(a);
    auto const* y = static_cast<u8 const*>(b);
    for (size_t i = 0; i < length; ++i) {
        if (x[i] != y[i])
            return x[i] < y[i] ? -1 : 1;
    }
    return 0;
}

size_t strlen(char const* s)
{
    size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

void __cxa_pure_virtual() { Cpu::halt_forever(); }
// Statics live until the machine stops; nothing is destroyed at exit.
int __cxa_atexit(void (*)(void*), void*, void*) { return 0; }
void* __dso_handle = nullptr;

extern u8 kernel_image_end[];
extern u32 multiboot_upper_memory_kib;
extern void (*init_array_start[])();
extern void (*init_array_end[])();

void kernel_runtime_entry()
{
    // Global constructors and the kernel object allocate: the heap sets
    // itself up at the first allocation.
    for (auto* constructor = init_array_start; constructor != init_array_end; ++constructor)
        (*constructor)();
    run_kernel();
}
}

u32 get_amount_of_ram() { return multiboot_upper_memory_kib / 1024 + 1; }
u32 get_end_of_kernel() { return reinterpret_cast<u32>(kernel_image_end); }
