/*
 * start.c: the first code of every program. The linker script puts the
 * section .text.entry at the start of the program's image, and the packer
 * points the MZ entry at _start.
 *
 * The kernel enters as if by a near CALL, ESP at the top of the program's
 * stack (16-byte aligned before the call), which is exactly what a C
 * function expects on entry, so _start needs no assembly. It splits the
 * text after the program's path on the `run` line into words for argv, runs
 * main and ends through the C library's exit, which flushes and closes
 * every stream and runs the atexit functions.
 */
#include <stdlib.h>
#include <time.h>

#include "tessary.h"

/* The words of one `run` line: it holds fewer than this many characters. */
#define ARGUMENT_CAPACITY 1024
#define MAX_ARGUMENTS 128

int main(int argument_count, char** arguments, char** environment);

extern char** environ;

static char g_argument_text[ARGUMENT_CAPACITY];
/* argv[0] is the program's name, which the kernel does not pass: empty, so
   programs fall back to their own. */
static char g_no_name[] = "";
static char* g_arguments[MAX_ARGUMENTS + 1] = { g_no_name };

/* Words are separated by spaces; double quotes keep spaces in a word and
   are dropped. */
static int split_arguments(void)
{
    int count = 1;
    char* read = g_argument_text;
    char* write = g_argument_text;
    while (*read && count < MAX_ARGUMENTS) {
        while (*read == ' ')
            ++read;
        if (!*read)
            break;
        g_arguments[count++] = write;
        int quoted = 0;
        while (*read && (quoted || *read != ' ')) {
            if (*read == '"')
                quoted = !quoted;
            else
                *write++ = *read;
            ++read;
        }
        if (*read)
            ++read;
        *write++ = 0;
    }
    g_arguments[count] = 0;
    return count;
}

__attribute__((section(".text.entry"), used, noreturn)) void _start(void)
{
    /* clock() counts from its first call: from here. */
    clock();
    tessary_arguments(g_argument_text, sizeof g_argument_text);
    int count = split_arguments();
    exit(main(count, g_arguments, environ));
}
