/*
 * write.c: writes a line of text to a file, replacing what was there.
 *
 *   run /programs/write.exe /home/root/hello.txt Hello, world
 *
 * The file holds the text after the path and a line feed.
 */
#include "tessary.h"

int main(void)
{
    char line[256];
    int length = tessary_arguments(line, sizeof line - 1);
    int split = 0;
    while (split < length && line[split] != ' ')
        ++split;
    if (split == 0) {
        tessary_print_line("usage: run write.exe PATH TEXT...");
        return 1;
    }

    /* The path ends at the first space; the text follows it. */
    line[split] = 0;
    char* text = line + split + 1;
    int text_length = split < length ? length - split - 1 : 0;
    text[text_length++] = '\n';

    int result = tessary_write_file(line, text, (unsigned)text_length);
    if (result < 0) {
        tessary_print("write: cannot write ");
        tessary_print(line);
        tessary_print(" (error ");
        tessary_print_int(result);
        tessary_print_line(")");
        return 1;
    }
    tessary_print("Wrote ");
    tessary_print_int(text_length);
    tessary_print(" bytes to ");
    tessary_print_line(line);
    return 0;
}
