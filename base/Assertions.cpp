#include "base/Assertions.h"
#include "base/Types.h"

#ifndef TESSARY_KERNEL
#    include <cstdio>
#    include <cstdlib>
#endif

namespace {
// Built without the heap: the failed check may be inside the allocator, or
// the heap may be what is broken.
char g_message[256];
size_t g_length;

void add(char const* text)
{
    while (*text && g_length + 1 < sizeof(g_message))
        g_message[g_length++] = *text++;
    g_message[g_length] = 0;
}

void add_number(int value)
{
    char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 && count < 11);
    char text[12];
    for (int i = 0; i < count; ++i)
        text[i] = digits[count - 1 - i];
    text[count] = 0;
    add(text);
}

// The build passes whole paths; the folder and the file name say enough.
char const* short_path(char const* path)
{
    char const* last = nullptr;
    char const* before_last = path;
    for (char const* c = path; *c; ++c) {
        if (*c == '/') {
            if (last)
                before_last = last + 1;
            last = c;
        }
    }
    return before_last;
}
}

void verification_failed(char const* condition, char const* file, int line)
{
    g_length = 0;
    add("VERIFY failed: ");
    add(condition);
    add(" at ");
    add(short_path(file));
    add(":");
    add_number(line);
#ifdef TESSARY_KERNEL
    panic(g_message);
#else
    std::fprintf(stderr, "%s\n", g_message);
    std::abort();
#endif
}
