/*
 * args.c: prints its arguments, one a line.
 *
 *   run /programs/args.exe one two three
 */
#include "tessary.h"

int main(void)
{
    char text[256];
    int length = tessary_arguments(text, sizeof text);
    if (length <= 0) {
        tessary_print_line("No arguments.");
        return 0;
    }

    int count = 0;
    for (int i = 0; i < length;) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        int end = i;
        while (end < length && text[end] != ' ')
            ++end;
        tessary_print_int(++count);
        tessary_print(": ");
        tessary_write(text + i, (unsigned)(end - i));
        tessary_print_line("");
        i = end;
    }
    return 0;
}
