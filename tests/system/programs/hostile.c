/*
 * hostile.c: a test program that reaches for what is not its own. Every
 * mode but pointers, alloc and screen must end in a fault; one that comes
 * back prints "MODE did not fault" and ends with status 1.
 *
 *   run hostile.exe kernel-write   stores into the kernel's image at 0x00500000
 *   run hostile.exe kernel-read    loads from the kernel's image at 0x00510000
 *   run hostile.exe text-write     stores into the text screen at 0xB8000
 *   run hostile.exe null-write     stores at address 0
 *   run hostile.exe above-heap     grows the heap by a page, then stores 1 MiB
 *                                  above the break
 *   run hostile.exe in|out|cli|hlt|int3|int21|ud2
 *                                  the instruction, at the global label
 *                                  hostile_MODE, in ring 3
 *   run hostile.exe divide         divides by a volatile zero in divide_by()
 *   run hostile.exe recursion      recurses until the stack runs out
 *   run hostile.exe pointers       every call that takes a pointer handed the
 *                                  kernel's image and the text screen, with
 *                                  what it returned, one a line
 *   run hostile.exe alloc MIB      grows the heap by MIB MiB, fills it with
 *                                  a hash of each word's address, checks
 *                                  it and shrinks it back: "checked MIB MiB"
 *   run hostile.exe screen HOW     prints what the screen calls return on the
 *                                  text screen, one a line, then shows a
 *                                  frame on the 320x200 screen (colour x + y
 *                                  at (x, y); colour i is red i, green 255 - i,
 *                                  blue 128), prints a line behind it, waits
 *                                  for a key and ends without going back to
 *                                  text: HOW is return, exit (status 3) or
 *                                  fault (a store at address 0)
 */
#include "tessary.h"

#define KERNEL_IMAGE 0x00500000u
#define TEXT_SCREEN 0x000B8000u
#define STOLEN_PATH "/home/root/stolen.txt"

static void print_hex(unsigned value)
{
    char digits[11] = "0x";
    for (int i = 0; i < 8; ++i)
        digits[2 + i] = "0123456789ABCDEF"[(value >> (28 - 4 * i)) & 0xF];
    tessary_write(digits, 10);
}

static void report(char const* call, unsigned address, int result)
{
    tessary_print(call);
    tessary_print(" ");
    print_hex(address);
    tessary_print(" = ");
    tessary_print_int(result);
    tessary_print_line("");
}

/* The text after `prefix` if `text` starts with it, else 0. */
static char const* after(char const* text, char const* prefix)
{
    while (*prefix && *text == *prefix) {
        ++text;
        ++prefix;
    }
    return *prefix ? 0 : text;
}

static int same(char const* a, char const* b)
{
    char const* rest = after(a, b);
    return rest && !*rest;
}

static void store(unsigned address) { *(unsigned volatile*)address = 0x0BADC0DE; }

static int kernel_write(void)
{
    store(KERNEL_IMAGE);
    return 0;
}

static int kernel_read(void) { return (int)*(unsigned volatile*)(KERNEL_IMAGE + 0x10000); }

static int text_write(void)
{
    store(TEXT_SCREEN);
    return 0;
}

static int null_write(void)
{
    store(0);
    return 0;
}

static int above_heap(void)
{
    unsigned start = (unsigned)tessary_break(0);
    unsigned end = (unsigned)tessary_break((void*)(start + 4096));
    if (end != start + 4096) {
        report("break", start + 4096, (int)end);
        return 1;
    }
    store(end + 1024 * 1024);
    return 0;
}

/* Each instruction sits at a label of its own, so the test can tell the
   address the fault names is the instruction's own. */
#define PRIVILEGED(name, instruction)                                                                         \
    static int name(void)                                                                                     \
    {                                                                                                         \
        __asm__ volatile(".globl hostile_" #name "\nhostile_" #name ":\n\t" instruction ::: "eax", "memory"); \
        return 0;                                                                                             \
    }
PRIVILEGED(in, "inb $0x60, %%al")
PRIVILEGED(out, "outb %%al, $0x80")
PRIVILEGED(cli, "cli")
PRIVILEGED(hlt, "hlt")
PRIVILEGED(int3, "int3")
/* The keyboard's line: a program must not run a driver's routine. */
PRIVILEGED(int21, "int $0x21")
PRIVILEGED(ud2, "ud2")

__attribute__((noinline)) int divide_by(int volatile* dividend, int volatile* divisor) { return *dividend / *divisor; }

static int divide(void)
{
    int volatile dividend = 1;
    int volatile divisor = 0;
    return divide_by(&dividend, &divisor);
}

/* A depth the stack can never hold, which the compiler cannot see through. */
static unsigned volatile recursion_limit = 0xFFFFFFFF;

/* Less than a page a frame, so the first touch below the stack lands on the
   guard page; the sum after the call keeps every frame alive. */
__attribute__((noinline)) static int recurse(unsigned depth)
{
    char volatile frame[256];
    if (depth == recursion_limit)
        return 0;
    frame[depth % sizeof frame] = (char)depth;
    return recurse(depth + 1) + frame[(depth + 1) % sizeof frame];
}

static int recursion(void) { return recurse(0); }

/* Calls 1 and 2 of the first programs: ESI a string to print; EDI a buffer
   and ECX its size for a line read from the keyboard. A bounded buffer that
   is not the program's is refused before anything is read. */
static int old_print(unsigned address)
{
    int result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(TESSARY_CALL_PRINT), "S"(address) : "memory");
    return result;
}

static int old_read_line(unsigned address, unsigned size)
{
    int result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(TESSARY_CALL_READ_LINE), "D"(address), "c"(size) : "memory");
    return result;
}

static int pointers(void)
{
    static unsigned const targets[] = { KERNEL_IMAGE, TEXT_SCREEN };
    static char own[16];
    for (unsigned i = 0; i < sizeof targets / sizeof targets[0]; ++i) {
        unsigned target = targets[i];
        void* pointer = (void*)target;
        report("write", target, tessary_write(pointer, 16));
        report("file size", target, tessary_file_size(pointer));
        report("read file path", target, tessary_read_file(pointer, own, sizeof own));
        report("read file into", target, tessary_read_file("/home/root/hostile.exe", pointer, 16));
        report("write file path", target, tessary_write_file(pointer, own, sizeof own));
        report("write file from", target, tessary_write_file(STOLEN_PATH, pointer, 16));
        report("arguments into", target, tessary_arguments(pointer, 16));
        report("print", target, old_print(target));
        report("read line into", target, old_read_line(target, 16));
    }
    /* Nothing was saved from the kernel's memory. */
    tessary_print("stolen file size = ");
    tessary_print_int(tessary_file_size(STOLEN_PATH));
    tessary_print_line("");
    return 0;
}

static int alloc(char const* text)
{
    unsigned mebibytes = 0;
    while (*text >= '0' && *text <= '9')
        mebibytes = mebibytes * 10 + (unsigned)(*text++ - '0');
    unsigned start = (unsigned)tessary_break(0);
    unsigned end = start + mebibytes * 1024 * 1024;
    int result = tessary_break((void*)end);
    if (result != (int)end) {
        report("break", end, result);
        if ((unsigned)tessary_break(0) != start)
            tessary_print_line("the break moved");
        return 1;
    }
    /* Each word holds a hash of its own address: two pages on one frame, or
       a page that lost its content, show as a wrong word. */
    for (unsigned* word = (unsigned*)start; word < (unsigned*)end; ++word)
        *word = (unsigned)word * 2654435761u;
    for (unsigned* word = (unsigned*)start; word < (unsigned*)end; ++word) {
        if (*word != (unsigned)word * 2654435761u) {
            report("wrong word at", (unsigned)word, (int)*word);
            return 1;
        }
    }
    result = tessary_break((void*)start);
    if (result != (int)start) {
        report("break", start, result);
        return 1;
    }
    tessary_print("checked ");
    tessary_print_unsigned(mebibytes);
    tessary_print_line(" MiB");
    return 0;
}

static void say(char const* what, int result)
{
    tessary_print(what);
    tessary_print(" = ");
    tessary_print_int(result);
    tessary_print_line("");
}

static int screen(char const* how)
{
    static unsigned char palette[768];
    static unsigned char frame[TESSARY_SCREEN_WIDTH * TESSARY_SCREEN_HEIGHT];
    say("palette on text", tessary_system_call(TESSARY_CALL_PALETTE, (unsigned)palette, 0, 0));
    say("frame on text", tessary_system_call(TESSARY_CALL_SHOW_FRAME, (unsigned)frame, 0, 0));
    say("screen 2", tessary_system_call(TESSARY_CALL_GRAPHICS, 2, 0, 0));
    for (unsigned i = 0; i < 256; ++i) {
        palette[3 * i] = (unsigned char)i;
        palette[3 * i + 1] = (unsigned char)(255 - i);
        palette[3 * i + 2] = 128;
    }
    for (unsigned y = 0; y < TESSARY_SCREEN_HEIGHT; ++y) {
        for (unsigned x = 0; x < TESSARY_SCREEN_WIDTH; ++x)
            frame[y * TESSARY_SCREEN_WIDTH + x] = (unsigned char)(x + y);
    }
    if (tessary_system_call(TESSARY_CALL_GRAPHICS, TESSARY_SCREEN_320X200, 0, 0) != 0
        || tessary_system_call(TESSARY_CALL_PALETTE, (unsigned)palette, 0, 0) != 0
        || tessary_system_call(TESSARY_CALL_SHOW_FRAME, (unsigned)frame, 0, 0) != 0)
        return 1;
    /* Into text memory no mode shows: it must not turn up afterwards. */
    tessary_print_line("behind the frame");
    tessary_read_key();
    if (same(how, "exit"))
        tessary_exit(3);
    if (same(how, "fault"))
        null_write();
    return 0;
}

struct mode {
    char const* name;
    int (*run)(void);
};

static struct mode const modes[] = {
    { "kernel-write", kernel_write },
    { "kernel-read", kernel_read },
    { "text-write", text_write },
    { "null-write", null_write },
    { "above-heap", above_heap },
    { "in", in },
    { "out", out },
    { "cli", cli },
    { "hlt", hlt },
    { "int3", int3 },
    { "int21", int21 },
    { "ud2", ud2 },
    { "divide", divide },
    { "recursion", recursion },
    { "pointers", pointers },
};

int main(void)
{
    static char arguments[64];
    tessary_arguments(arguments, sizeof arguments);
    char const* size = after(arguments, "alloc ");
    if (size)
        return alloc(size);
    char const* how = after(arguments, "screen ");
    if (how)
        return screen(how);
    for (unsigned i = 0; i < sizeof modes / sizeof modes[0]; ++i) {
        if (same(arguments, modes[i].name)) {
            int result = modes[i].run();
            if (same(arguments, "pointers"))
                return result;
            tessary_print(arguments);
            tessary_print_line(" did not fault");
            return 1;
        }
    }
    tessary_print("unknown mode: ");
    tessary_print_line(arguments);
    return 2;
}
