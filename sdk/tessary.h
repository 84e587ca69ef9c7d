/*
 * tessary.h: everything a C program for Tessary needs to talk to the system.
 *
 * A program runs in ring 3 in memory of its own (docs/PROGRAMS.md, "Memory"):
 * its image, a heap that the break call grows, a stack of 1 MiB. It reaches
 * the system only through interrupt 0x80, as tessary_calls.h defines; the
 * calls below are plain inline functions with no library behind them. A
 * pointer handed to the system that is not the program's own is refused
 * with TESSARY_BAD_ARGUMENT and nothing is touched; a fault ends the program
 * with a red line that names it.
 */
#ifndef TESSARY_H
#define TESSARY_H

#include "tessary_calls.h"

/* The VGA text colours for tessary_colours(). */
enum {
    TESSARY_BLACK,
    TESSARY_BLUE,
    TESSARY_GREEN,
    TESSARY_CYAN,
    TESSARY_RED,
    TESSARY_MAGENTA,
    TESSARY_BROWN,
    TESSARY_LIGHT_GREY,
    TESSARY_DARK_GREY,
    TESSARY_LIGHT_BLUE,
    TESSARY_LIGHT_GREEN,
    TESSARY_LIGHT_CYAN,
    TESSARY_LIGHT_RED,
    TESSARY_LIGHT_MAGENTA,
    TESSARY_YELLOW,
    TESSARY_WHITE,
};

/* The screen the cursor calls address. */
#define TESSARY_COLUMNS 80
#define TESSARY_ROWS 25

static inline int tessary_system_call(int function, unsigned first, unsigned second, unsigned third)
{
    int result;
    /* "memory": the kernel reads and writes the program's buffers. */
    __asm__ volatile("int %[vector]"
                     : "=a"(result)
                     : [vector] "i"(TESSARY_SYSTEM_CALL_VECTOR), "a"(function), "b"(first), "c"(second), "d"(third)
                     : "memory");
    return result;
}

/* Ends the program at once, from any depth, with the status the shell
   reports (it names any status but 0). */
static inline __attribute__((noreturn)) void tessary_exit(int status)
{
    tessary_system_call(TESSARY_CALL_EXIT, (unsigned)status, 0, 0);
    __builtin_unreachable();
}

/* Writes length bytes in the current colours; '\n' ends the line. Returns
   the length. */
static inline int tessary_write(char const* text, unsigned length)
{
    return tessary_system_call(TESSARY_CALL_WRITE, (unsigned)text, length, 0);
}

/* Waits for a key and returns its character ('\n' for Enter, '\b' for
   Backspace), 0 for a key without one (the arrows, Escape). Nothing is
   echoed. */
static inline int tessary_read_key(void) { return tessary_system_call(TESSARY_CALL_READ_KEY, 0, 0, 0); }

/* The size of a file in bytes, or TESSARY_NOT_FOUND. Paths start at the top
   of the disk: "/home/root/notes.txt". */
static inline int tessary_file_size(char const* path)
{
    return tessary_system_call(TESSARY_CALL_FILE_SIZE, (unsigned)path, 0, 0);
}

/* Reads up to capacity bytes from the start of a file; returns the count. */
static inline int tessary_read_file(char const* path, void* buffer, unsigned capacity)
{
    return tessary_system_call(TESSARY_CALL_READ_FILE, (unsigned)path, (unsigned)buffer, capacity);
}

/* Creates or replaces a file with length bytes; 0 on success. */
static inline int tessary_write_file(char const* path, void const* data, unsigned length)
{
    return tessary_system_call(TESSARY_CALL_WRITE_FILE, (unsigned)path, (unsigned)data, length);
}

/* Copies the text after the program's path on the `run` line, 0-terminated
   and cut to capacity - 1 characters; returns its length. */
static inline int tessary_arguments(char* buffer, unsigned capacity)
{
    return tessary_system_call(TESSARY_CALL_ARGUMENTS, (unsigned)buffer, capacity, 0);
}

/* Milliseconds since the system started. */
static inline unsigned tessary_milliseconds(void)
{
    return (unsigned)tessary_system_call(TESSARY_CALL_MILLISECONDS, 0, 0, 0);
}

static inline int tessary_sleep(unsigned milliseconds)
{
    return tessary_system_call(TESSARY_CALL_SLEEP, milliseconds, 0, 0);
}

/* Sets the colours of what is written next (and of a clear). The shell's
   colours come back when the program ends. */
static inline int tessary_colours(int foreground, int background)
{
    return tessary_system_call(TESSARY_CALL_COLOURS, (unsigned)foreground, (unsigned)background, 0);
}

/* Clears the screen in the current colours; the cursor goes to the top left. */
static inline int tessary_clear(void) { return tessary_system_call(TESSARY_CALL_CLEAR, 0, 0, 0); }

/* Like tessary_read_key() but returns -1 at once when no key is waiting. */
static inline int tessary_poll_key(void) { return tessary_system_call(TESSARY_CALL_POLL_KEY, 0, 0, 0); }

/* Moves the cursor: the next write starts at column 0-79, row 0-24. */
static inline int tessary_cursor(int column, int row)
{
    return tessary_system_call(TESSARY_CALL_CURSOR, (unsigned)column, (unsigned)row, 0);
}

/* Moves the end of the heap, which starts empty right after the image, to
   `end`; 0 only asks. Returns the end, TESSARY_BAD_ARGUMENT below the heap's
   start or into the stack, or TESSARY_NO_MEMORY, and the heap stays. */
static inline int tessary_break(void* end) { return tessary_system_call(TESSARY_CALL_BREAK, (unsigned)end, 0, 0); }

/* Files by handle, the C library's descriptors (open, read, lseek and the
   rest are built on these): see sdk/libc/system.c. The calls below are the
   ones the C library has no function for. */

/* The entry at `index` (from 0, in listing order) of the directory at
   `path`: 0, or TESSARY_NOT_FOUND past the last. */
static inline int tessary_list(char const* path, unsigned index, struct tessary_directory_entry* entry)
{
    return tessary_system_call(TESSARY_CALL_LIST, (unsigned)path, index, (unsigned)entry);
}

/* Seconds since 1970-01-01 00:00 UTC, from the battery-backed clock. */
static inline unsigned tessary_time(void) { return (unsigned)tessary_system_call(TESSARY_CALL_TIME, 0, 0, 0); }

/* The next key event, or -1 at once when none waits: the key
   (TESSARY_KEY_* or its character) with TESSARY_KEY_RELEASED when it went
   up. Events queue beside the characters tessary_read_key() returns; a
   program that reads events has the characters of its keys dropped when it
   ends, so the shell does not receive them. */
static inline int tessary_key_event(void) { return tessary_system_call(TESSARY_CALL_KEY_EVENT, 0, 0, 0); }

/* Switches the screen to 320x200 with 256 colours (TESSARY_SCREEN_320X200)
   or back to text (TESSARY_SCREEN_TEXT). However the program ends, the text
   console comes back as it was. */
static inline int tessary_graphics(int screen)
{
    return tessary_system_call(TESSARY_CALL_GRAPHICS, (unsigned)screen, 0, 0);
}

/* Sets all 256 colours: red, green and blue, 0-255 each. */
static inline int tessary_palette(unsigned char const palette[768])
{
    return tessary_system_call(TESSARY_CALL_PALETTE, (unsigned)palette, 0, 0);
}

/* Shows a frame of 320x200 colour numbers, a byte a pixel, row by row. */
static inline int tessary_show_frame(unsigned char const frame[64000])
{
    return tessary_system_call(TESSARY_CALL_SHOW_FRAME, (unsigned)frame, 0, 0);
}

/* ---- helpers built on the calls above ---------------------------------- */

static inline unsigned tessary_string_length(char const* text)
{
    unsigned length = 0;
    while (text[length])
        ++length;
    return length;
}

/* Writes a 0-terminated string. */
static inline int tessary_print(char const* text) { return tessary_write(text, tessary_string_length(text)); }

/* Writes a 0-terminated string and ends the line. */
static inline int tessary_print_line(char const* text)
{
    tessary_print(text);
    return tessary_write("\n", 1);
}

/* Writes a number in decimal. */
static inline int tessary_print_unsigned(unsigned number)
{
    char digits[10];
    unsigned count = 0;
    do {
        digits[sizeof digits - ++count] = (char)('0' + number % 10);
        number /= 10;
    } while (number);
    return tessary_write(digits + sizeof digits - count, count);
}

static inline int tessary_print_int(int number)
{
    if (number >= 0)
        return tessary_print_unsigned((unsigned)number);
    tessary_write("-", 1);
    /* Negating in unsigned arithmetic covers the most negative int too. */
    return tessary_print_unsigned(0u - (unsigned)number) + 1;
}

#endif
