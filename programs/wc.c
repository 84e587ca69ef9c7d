/*
 * wc.c: counts the lines, words and bytes of a file, like wc.
 *
 *   run /programs/wc.exe /home/root/notes.txt
 *
 * Ends with status 1 when the file is missing or cannot be read.
 */
#include "tessary.h"

/* The whole file is read at once; the system clears this at load. */
static char g_contents[512 * 1024];

static int fail(char const* path, char const* reason)
{
    tessary_print("wc: ");
    tessary_print(path);
    tessary_print(": ");
    tessary_print_line(reason);
    return 1;
}

int main(void)
{
    char path[256];
    if (tessary_arguments(path, sizeof path) <= 0) {
        tessary_print_line("usage: run wc.exe PATH");
        return 1;
    }

    int size = tessary_file_size(path);
    if (size == TESSARY_NOT_FOUND)
        return fail(path, "no such file");
    if (size < 0)
        return fail(path, "cannot read it");
    if (size > (int)sizeof g_contents)
        return fail(path, "larger than 512 KiB");
    int count = tessary_read_file(path, g_contents, sizeof g_contents);
    if (count < 0)
        return fail(path, "cannot read it");

    unsigned lines = 0, words = 0;
    int in_word = 0;
    for (int i = 0; i < count; ++i) {
        char c = g_contents[i];
        int space = c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
        lines += c == '\n';
        words += !space && !in_word;
        in_word = !space;
    }

    tessary_print_unsigned(lines);
    tessary_print(" ");
    tessary_print_unsigned(words);
    tessary_print(" ");
    tessary_print_int(count);
    tessary_print(" ");
    tessary_print_line(path);
    return 0;
}
