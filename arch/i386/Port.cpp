#include "arch/Port.h"

namespace Port {

u8 in8(u16 port)
{
    u8 value;
    asm volatile("inb %1, %0" : "=a"(value) : "Nd"(port));
    return value;
}

u16 in16(u16 port)
{
    u16 value;
    asm volatile("inw %1, %0" : "=a"(value) : "Nd"(port));
    return value;
}

u32 in32(u16 port)
{
    u32 value;
    asm volatile("inl %1, %0" : "=a"(value) : "Nd"(port));
    return value;
}

void out8(u16 port, u8 value) { asm volatile("outb %0, %1" : : "a"(value), "Nd"(port)); }
void out16(u16 port, u16 value) { asm volatile("outw %0, %1" : : "a"(value), "Nd"(port)); }
void out32(u16 port, u32 value) { asm volatile("outl %0, %1" : : "a"(value), "Nd"(port)); }

void in16_block(u16 port, u16* words, size_t count)
{
    asm volatile("rep insw" : "+D"(words), "+c"(count) : "d"(port) : "memory");
}

void out16_block(u16 port, u16 const* words, size_t count)
{
    asm volatile("rep outsw" : "+S"(words), "+c"(count) : "d"(port) : "memory");
}

}
