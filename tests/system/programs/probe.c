/*
 * probe.c: a test program that pokes at the edges of the system calls.
 *
 *   run probe.exe pointers   each call handed an address outside the program
 *                            area, with what it returned, one a line
 *   run probe.exe exit       ends with status 42 from calls nested 100 deep,
 *                            after dirtying every callee-saved register
 *
 * Either way it leaves the console in its own colours.
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

int main(void)
{
    /* Colours the shell must put back, however the program ends. */
    tessary_colours(TESSARY_YELLOW, TESSARY_MAGENTA);
    char argument[16];
    tessary_arguments(argument, sizeof argument);
    if (argument[0] == 'p') {
        pointers();
        return 0;
    }
    __asm__ volatile("mov $0x11111111, %%ebx\n\tmov $0x22222222, %%esi\n\tmov $0x33333333, %%edi" ::
                         : "ebx", "esi", "edi");
    tessary_print_int(nest(100));
    return 0;
}
