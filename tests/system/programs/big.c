/*
 * big.c: a test program with an image far larger than the 4 MiB a program
 * linked at 1 MiB may have: 16 MiB of zeroed static memory after its code.
 * It checks that the memory comes zeroed, fills it with a pattern and reads
 * the pattern back; "checked 16 MiB of .bss" and status 0 when all is well.
 */
#include "tessary.h"

#define SIZE (16u << 20)

static unsigned char big[SIZE];

static unsigned char pattern(unsigned i) { return (unsigned char)(i * 7 + (i >> 12)); }

int main(void)
{
    for (unsigned i = 0; i < SIZE; i += 512) {
        if (big[i] != 0) {
            tessary_print_line("not zeroed");
            return 1;
        }
    }
    for (unsigned i = 0; i < SIZE; ++i)
        big[i] = pattern(i);
    for (unsigned i = 0; i < SIZE; ++i) {
        if (big[i] != pattern(i)) {
            tessary_print_line("wrong byte");
            return 1;
        }
    }
    tessary_print_line("checked 16 MiB of .bss");
    return 0;
}
