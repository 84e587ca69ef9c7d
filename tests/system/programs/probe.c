/*
 * probe.c: a test program that pokes at the edges of the system calls.
 *
 *   run probe.exe pointers         each call handed an address outside the
 *                                  program area, with what it returned, one a line
 *   run probe.exe exit             ends with status 42 from calls nested 100
 *                                  deep, after dirtying every callee-saved register
 *   run probe.exe fill PATH COUNT  saves COUNT small files named PATH and a
 *                                  four-digit number from 0000; each holds its
 *                                  own name and a space, once plus the number
 *                                  modulo 8 times, and a line feed
 *   run probe.exe check PATH COUNT reads those files back and counts the ones
 *                                  that hold what fill saved
 *
 * Every mode leaves the console in its own colours.
 */
#include "tessary.h"

static void report(char const* call, int result)
{
    tessary_print(call);
    tessary_print(" = ");
    tessary_print_int(result);
    tessary_print_line("");
}

static void pointers(void)
{
    char buffer[16];
    char* low = (char*)0;
    char* high = (char*)0x00600000;
    /* Just below the area's end: a buffer that runs out of it. */
    char* straddling = (char*)0x004ffff8;
    report("write 0", tessary_write(low, 5));
    report("write 0x00600000", tessary_write(high, 5));
    report("write across the end", tessary_write(straddling, 16));
    report("file size 0", tessary_file_size(low));
    report("read file into 0x00600000", tessary_read_file("/home/root/notes.txt", high, 16));
    report("arguments into 0", tessary_arguments(low, sizeof buffer));
    report("colours 16", tessary_colours(16, 0));
    report("cursor 80", tessary_cursor(80, 0));
    report("write 0 bytes at 0", tessary_write(low, 0));
}

/* A real call chain 100 frames deep: the value read back after each call
   keeps the compiler from folding the recursion into a loop. */
static int nest(int depth)
{
    int volatile kept = depth * 3 + 1;
    if (depth == 0)
        tessary_exit(42);
    if (depth < 0)
        return 0;
    return nest(depth - 1) + kept;
}

static int same(char const* a, char const* b)
{
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

/* The next space-separated word of the arguments, 0-terminated in place. */
static char* next_word(char** cursor)
{
    while (**cursor == ' ')
        ++*cursor;
    char* word = *cursor;
    while (**cursor && **cursor != ' ')
        ++*cursor;
    if (**cursor)
        *(*cursor)++ = 0;
    return word;
}

#define MAX_PATH 200
#define MAX_CONTENT (8 * (MAX_PATH + 1) + 1)

/* The path of file `number` (PATH and four digits) and the content fill
   gives it; returns the content's length. */
static unsigned numbered_file(char const* base, unsigned number, char* path, char* content)
{
    unsigned length = 0;
    while (base[length] && length < MAX_PATH - 4) {
        path[length] = base[length];
        ++length;
    }
    for (unsigned place = 1000, rest = number; place; rest %= place, place /= 10)
        path[length++] = (char)('0' + rest / place % 10);
    path[length] = 0;
    unsigned name = length;
    while (name && path[name - 1] != '/')
        --name;
    unsigned size = 0;
    for (unsigned copy = 0; copy <= number % 8; ++copy) {
        for (unsigned i = name; i < length; ++i)
            content[size++] = path[i];
        content[size++] = ' ';
    }
    content[size++] = '\n';
    return size;
}

static unsigned parse_count(char const* text)
{
    unsigned count = 0;
    while (*text >= '0' && *text <= '9')
        count = count * 10 + (unsigned)(*text++ - '0');
    return count > 10000 ? 10000 : count;
}

static int fill(char const* base, unsigned count)
{
    static char path[MAX_PATH + 1];
    static char content[MAX_CONTENT];
    for (unsigned number = 0; number < count; ++number) {
        unsigned size = numbered_file(base, number, path, content);
        int result = tessary_write_file(path, content, size);
        if (result < 0) {
            tessary_print("fill: cannot save ");
            tessary_print(path);
            report("", result);
            return 1;
        }
    }
    tessary_print("Saved ");
    tessary_print_unsigned(count);
    tessary_print_line(" files");
    return 0;
}

static int check(char const* base, unsigned count)
{
    static char path[MAX_PATH + 1];
    static char expected[MAX_CONTENT];
    static char found[MAX_CONTENT];
    unsigned right = 0;
    for (unsigned number = 0; number < count; ++number) {
        unsigned size = numbered_file(base, number, path, expected);
        /* A byte more than expected is asked for, so a longer file shows. */
        int read = tessary_read_file(path, found, size + 1);
        int equal = read == (int)size;
        for (unsigned i = 0; equal && i < size; ++i)
            equal = found[i] == expected[i];
        if (equal)
            ++right;
        else if (right == number) {
            tessary_print("check: first wrong file ");
            tessary_print_line(path);
        }
    }
    tessary_print_unsigned(right);
    tessary_print(" of ");
    tessary_print_unsigned(count);
    tessary_print_line(" files read back right");
    return right == count ? 0 : 1;
}

int main(void)
{
    /* Colours the shell must put back, however the program ends. */
    tessary_colours(TESSARY_YELLOW, TESSARY_MAGENTA);
    static char arguments[256];
    tessary_arguments(arguments, sizeof arguments);
    char* cursor = arguments;
    char* mode = next_word(&cursor);
    if (same(mode, "pointers")) {
        pointers();
        return 0;
    }
    if (same(mode, "fill") || same(mode, "check")) {
        char* base = next_word(&cursor);
        unsigned count = parse_count(next_word(&cursor));
        return mode[0] == 'f' ? fill(base, count) : check(base, count);
    }
    __asm__ volatile("mov $0x11111111, %%ebx\n\tmov $0x22222222, %%esi\n\tmov $0x33333333, %%edi" ::
                         : "ebx", "esi", "edi");
    tessary_print_int(nest(100));
    return 0;
}
