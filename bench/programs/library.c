/*
 * library.c: the C library's figures, measured in a program as a program
 * written elsewhere would do the work, for the benchmark image
 * (bench/LibraryBench.cpp), which puts the file to read on the disk and
 * reports what this writes to RESULTS, one "name value" line each:
 *
 *   run /bench/library.exe DATA RESULTS
 *
 *   fread_kib_per_second  DATA read whole through fread in 64 KiB pieces
 *   printf_us             10,000 lines of printf("%d\n") to the console
 *   write_us              the same bytes, a line per tessary_write
 *   show_frame_us         one 64,000-byte frame shown in 320x200
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tessary.h"

#define PIECE (64 * 1024)
#define LINES 10000
#define FRAMES 3000

static unsigned long read_whole(char const* path, unsigned* milliseconds)
{
    static char piece[PIECE];
    FILE* file = fopen(path, "rb");
    if (!file)
        return 0;
    unsigned long total = 0;
    unsigned start = tessary_milliseconds();
    for (size_t count; (count = fread(piece, 1, sizeof piece, file)) > 0;)
        total += count;
    *milliseconds = tessary_milliseconds() - start;
    fclose(file);
    return total;
}

static unsigned print_lines(void)
{
    unsigned start = tessary_milliseconds();
    for (int i = 0; i < LINES; ++i)
        printf("%d\n", i);
    return tessary_milliseconds() - start;
}

static unsigned write_lines(void)
{
    unsigned start = tessary_milliseconds();
    for (int i = 0; i < LINES; ++i) {
        char line[16];
        int length = snprintf(line, sizeof line, "%d\n", i);
        tessary_write(line, (unsigned)length);
    }
    return tessary_milliseconds() - start;
}

static unsigned show_frames(void)
{
    static unsigned char frame[TESSARY_SCREEN_WIDTH * TESSARY_SCREEN_HEIGHT];
    for (unsigned i = 0; i < sizeof frame; ++i)
        frame[i] = (unsigned char)(i % TESSARY_SCREEN_WIDTH);
    tessary_graphics(TESSARY_SCREEN_320X200);
    unsigned start = tessary_milliseconds();
    for (int i = 0; i < FRAMES; ++i)
        tessary_show_frame(frame);
    unsigned elapsed = tessary_milliseconds() - start;
    tessary_graphics(TESSARY_SCREEN_TEXT);
    return elapsed;
}

int main(int argument_count, char** arguments)
{
    if (argument_count != 3)
        return 2;
    unsigned read_ms = 0;
    unsigned long bytes = read_whole(arguments[1], &read_ms);
    unsigned printf_ms = print_lines();
    unsigned write_ms = write_lines();
    unsigned frames_ms = show_frames();
    FILE* results = fopen(arguments[2], "w");
    if (!results || bytes == 0)
        return 1;
    fprintf(results, "fread_kib_per_second %lu\n", read_ms ? bytes / 1024 * 1000 / read_ms : 0);
    fprintf(results, "printf_us %u\n", printf_ms * 1000);
    fprintf(results, "write_us %u\n", write_ms * 1000);
    fprintf(results, "show_frame_us %u\n", frames_ms * 1000 / FRAMES);
    return fclose(results) == 0 ? 0 : 1;
}
