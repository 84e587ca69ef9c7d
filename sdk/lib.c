/*
 * lib.c: the memory functions a freestanding C compiler may call on its own,
 * for a structure copy or a loop it recognises as a fill, even in a program
 * that never names them. Linked into every program.
 */
#include <stddef.h>

/* Plain loops: left to itself, the compiler would turn each loop below back
   into a call of the very function it is in. */
#define PLAIN_LOOPS __attribute__((optimize("no-tree-loop-distribute-patterns")))

PLAIN_LOOPS void* memcpy(void* destination, void const* source, size_t count)
{
    unsigned char* to = destination;
    unsigned char const* from = source;
    while (count--)
        *to++ = *from++;
    return destination;
}

PLAIN_LOOPS void* memmove(void* destination, void const* source, size_t count)
{
    unsigned char* to = destination;
    unsigned char const* from = source;
    if (to < from)
        return memcpy(destination, source, count);
    while (count--)
        to[count] = from[count];
    return destination;
}

PLAIN_LOOPS void* memset(void* destination, int value, size_t count)
{
    unsigned char* to = destination;
    while (count--)
        *to++ = (unsigned char)value;
    return destination;
}

PLAIN_LOOPS int memcmp(void const* first, void const* second, size_t count)
{
    unsigned char const* a = first;
    unsigned char const* b = second;
    for (; count; --count, ++a, ++b) {
        if (*a != *b)
            return *a - *b;
    }
    return 0;
}
