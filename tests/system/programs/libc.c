/*
 * libc.c: the C library as a program written elsewhere uses it, checked on
 * the running system, each group a line: "NAME: ok" or "NAME: FAILED ..."
 * with what differed. The status is the number of groups that failed.
 * The machine it runs on has no network card.
 *
 *   run libc.exe DIRECTORY    (a directory it may fill with files)
 */
#include <errno.h>
#include <float.h>
#include <limits.h>
#include <math.h>
#include <setjmp.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include "tessary.h"
#include "tessary_net.h"

static int g_failed;
static char const* g_group;
static char g_failure[200];

#define CHECK(condition, ...)                                   \
    do {                                                        \
        if (!(condition) && !g_failure[0])                      \
            snprintf(g_failure, sizeof g_failure, __VA_ARGS__); \
    } while (0)

static void begin(char const* group)
{
    g_group = group;
    g_failure[0] = 0;
}

static void finish(void)
{
    if (g_failure[0]) {
        printf("%s: FAILED %s\n", g_group, g_failure);
        ++g_failed;
    } else {
        printf("%s: ok\n", g_group);
    }
}

static uint64_t bits_of(double value)
{
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

static void numbers(void)
{
    begin("numbers");
    double const values[] = { 0.1, 1.0 / 3, -0.0, DBL_MAX, DBL_MIN, 4.9406564584124654e-324, 1e23, 9007199254740993.0,
        123456789012345678.0, 2.2250738585072009e-308, 0.30000000000000004, -1.5e-300, 6.02214076e23 };
    for (unsigned i = 0; i < sizeof values / sizeof values[0]; ++i) {
        char text[40];
        snprintf(text, sizeof text, "%.17g", values[i]);
        CHECK(bits_of(strtod(text, NULL)) == bits_of(values[i]), "%%.17g round trip of %s", text);
    }
    struct {
        char const* format;
        double value;
        char const* text;
    } const formats[] = { { "%g", 100000.0, "100000" }, { "%g", 1e6, "1e+06" }, { "%g", 0.0001, "0.0001" },
        { "%g", 1e-5, "1e-05" }, { "%.14g", 0.1, "0.1" }, { "%.14g", 1.0 / 3, "0.33333333333333" },
        { "%.14g", 2e15, "2e+15" }, { "%.3f", 2.0005, "2.001" }, { "%5.1f", -0.04, " -0.0" },
        { "%e", 12345.678, "1.234568e+04" }, { "%a", 1.0, "0x1p+0" } };
    for (unsigned i = 0; i < sizeof formats / sizeof formats[0]; ++i) {
        char text[40];
        snprintf(text, sizeof text, formats[i].format, formats[i].value);
        CHECK(!strcmp(text, formats[i].text), "%s gave %s, not %s", formats[i].format, text, formats[i].text);
    }
    CHECK(strtod("inf", NULL) == INFINITY && isnan(strtod("nan", NULL)), "inf and nan");
    CHECK(strtod("0x1.8p1", NULL) == 3.0, "hexadecimal float");
    char* end;
    CHECK(strtod("  -12.5e1xyz", &end) == -125.0 && !strcmp(end, "xyz"), "strtod's end");

    errno = 0;
    CHECK(strtol("2147483647", NULL, 10) == LONG_MAX && errno == 0, "LONG_MAX");
    CHECK(strtol("-2147483648", NULL, 10) == LONG_MIN && errno == 0, "LONG_MIN");
    CHECK(strtol("2147483648", NULL, 10) == LONG_MAX && errno == ERANGE, "overflow to LONG_MAX");
    CHECK(strtol("0x7f", NULL, 0) == 127 && strtol("077", NULL, 0) == 63 && strtol("z", NULL, 36) == 35, "bases");
    CHECK(strtoll("9223372036854775807", NULL, 10) == LLONG_MAX, "LLONG_MAX");
    CHECK(strtoull("18446744073709551615", NULL, 10) == ULLONG_MAX, "ULLONG_MAX");
    char text[64];
    snprintf(text, sizeof text, "%lld %llu %d %x", LLONG_MIN, ULLONG_MAX, INT_MIN, 0xDEADBEEFu);
    CHECK(!strcmp(text, "-9223372036854775808 18446744073709551615 -2147483648 deadbeef"), "printed %s", text);
    /* 64-bit division, from the compiler's runtime. */
    long long volatile big = 9223372036854775807LL;
    CHECK(big / 1000000007 == 9223371972LL && big % 1000000007 == 291172003LL, "64-bit division");
    char small[8];
    char const* volatile long_text = "truncated text";
    int length = snprintf(small, sizeof small, "%s", long_text);
    CHECK(length == 14 && !strcmp(small, "truncat"), "snprintf truncation");
    int a, b;
    char word[16];
    CHECK(
        sscanf("12 -7 lump", "%d %d %15s", &a, &b, word) == 3 && a == 12 && b == -7 && !strcmp(word, "lump"), "sscanf");
    finish();
}

static int compare_ints(void const* left, void const* right)
{
    int l = *(int const*)left, r = *(int const*)right;
    return (l > r) - (l < r);
}

static void sorting(void)
{
    begin("qsort");
    enum { Count = 5000 };
    static int values[Count];
    unsigned seed = 12345;
    long long sum = 0;
    for (int i = 0; i < Count; ++i) {
        seed = seed * 1103515245 + 12345;
        values[i] = (int)(seed >> 8) % 1000 - 500;
        sum += values[i];
    }
    qsort(values, Count, sizeof values[0], compare_ints);
    long long sorted_sum = values[0];
    for (int i = 1; i < Count; ++i) {
        CHECK(values[i - 1] <= values[i], "out of order at %d", i);
        sorted_sum += values[i];
    }
    CHECK(sum == sorted_sum, "values lost");
    int key = values[Count / 2];
    int* found = bsearch(&key, values, Count, sizeof values[0], compare_ints);
    CHECK(found && *found == key, "bsearch");
    finish();
}

static jmp_buf g_jump;

static int descend(int depth)
{
    char volatile frame[64];
    frame[0] = (char)depth;
    if (depth < 0)
        return 0;
    if (depth == 0)
        longjmp(g_jump, 7);
    return descend(depth - 1) + frame[0];
}

static void jumps(void)
{
    begin("setjmp");
    int volatile rounds = 0;
    int value = setjmp(g_jump);
    if (value == 0 || (value == 7 && ++rounds < 3))
        descend(100);
    CHECK(value == 7 && rounds == 3, "longjmp gave %d after %d rounds", value, rounds);
    finish();
}

static void memory(void)
{
    begin("malloc");
    enum { Count = 3000 };
    static unsigned char* blocks[Count];
    static size_t sizes[Count];
    for (int i = 0; i < Count; ++i) {
        sizes[i] = 1 + (size_t)(i * 7919 % 4000);
        blocks[i] = malloc(sizes[i]);
        CHECK(blocks[i] != NULL, "block %d", i);
        if (blocks[i])
            memset(blocks[i], i & 0xFF, sizes[i]);
    }
    /* Every other block goes; bigger ones fill the holes and beyond. */
    for (int i = 0; i < Count; i += 2) {
        free(blocks[i]);
        sizes[i] = sizes[i] * 3 + 100;
        blocks[i] = malloc(sizes[i]);
        CHECK(blocks[i] != NULL, "refill %d", i);
        if (blocks[i])
            memset(blocks[i], i & 0xFF, sizes[i]);
    }
    for (int i = 1; i < Count; i += 4) {
        unsigned char* grown = realloc(blocks[i], sizes[i] + 20000);
        CHECK(grown != NULL, "realloc %d", i);
        if (!grown)
            continue;
        memset(grown + sizes[i], i & 0xFF, 20000);
        blocks[i] = grown;
        sizes[i] += 20000;
    }
    for (int i = 0; i < Count; ++i) {
        for (size_t at = 0; blocks[i] && at < sizes[i]; at += 97)
            CHECK(blocks[i][at] == (i & 0xFF), "block %d overwritten at %u", i, (unsigned)at);
        free(blocks[i]);
    }
    /* What was freed is free again: 48 MiB in one piece, then given back. */
    void* large = malloc(48u << 20);
    CHECK(large != NULL, "48 MiB after freeing");
    free(large);
    size_t volatile too_much = (size_t)3 << 30;
    CHECK(malloc(too_much) == NULL && errno == ENOMEM, "3 GiB refused with ENOMEM");
    void* zeroed = calloc(1000, 1000);
    CHECK(zeroed && ((unsigned char*)zeroed)[999999] == 0, "calloc");
    free(zeroed);
    finish();
}

static char g_path[256];

static char const* path_of(char const* directory, char const* name)
{
    snprintf(g_path, sizeof g_path, "%s/%s", directory, name);
    return g_path;
}

static void files(char const* directory)
{
    begin("files");
    enum { Handles = 40 };
    FILE* open_files[Handles];
    int opened = 0;
    for (int i = 0; i < Handles; ++i) {
        char name[16];
        snprintf(name, sizeof name, "many%d", i);
        open_files[i] = fopen(path_of(directory, name), "w");
        if (open_files[i]) {
            ++opened;
            fprintf(open_files[i], "file %d\n", i);
        }
    }
    CHECK(opened >= 32, "only %d files open at once", opened);
    for (int i = 0; i < Handles; ++i)
        if (open_files[i])
            fclose(open_files[i]);
    FILE* file = fopen(path_of(directory, "many31"), "r");
    char line[32] = "";
    CHECK(file && fgets(line, sizeof line, file) && !strcmp(line, "file 31\n"), "many31 holds '%s'", line);
    if (file)
        fclose(file);

    /* Past the end: the gap reads as zeros, and reading at the end gives
       nothing and sets the end flag. */
    file = fopen(path_of(directory, "gap"), "w+");
    CHECK(file != NULL, "gap not created");
    if (file) {
        fputs("head", file);
        fseek(file, 10000, SEEK_SET);
        fputs("tail", file);
        CHECK(ftell(file) == 10004, "ftell %ld", ftell(file));
        rewind(file);
        static char content[10004];
        CHECK(fread(content, 1, sizeof content, file) == sizeof content, "gap read short");
        CHECK(!memcmp(content, "head", 4) && !memcmp(content + 10000, "tail", 4), "gap ends");
        int zeros = 1;
        for (int i = 4; i < 10000; ++i)
            zeros &= content[i] == 0;
        CHECK(zeros, "gap not zero");
        CHECK(fgetc(file) == EOF && feof(file), "read at the end");
        CHECK(fseek(file, -4, SEEK_END) == 0 && fgetc(file) == 't', "seek from the end");
        CHECK(ungetc('T', file) == 'T' && fgetc(file) == 'T', "ungetc");
        fclose(file);
    }
    struct stat status;
    CHECK(stat(path_of(directory, "gap"), &status) == 0 && status.st_size == 10004 && S_ISREG(status.st_mode),
        "stat size %ld", (long)status.st_size);

    /* Append: every write lands at the end wherever the position was. */
    file = fopen(path_of(directory, "log"), "w");
    if (file) {
        fputs("one\n", file);
        fclose(file);
    }
    file = fopen(path_of(directory, "log"), "a+");
    if (file) {
        fseek(file, 0, SEEK_SET);
        fputs("two\n", file);
        fclose(file);
    }
    file = fopen(path_of(directory, "log"), "r");
    char content[32] = "";
    if (file) {
        content[fread(content, 1, sizeof content - 1, file)] = 0;
        fclose(file);
    }
    CHECK(!strcmp(content, "one\ntwo\n"), "appended '%s'", content);

    /* Rename over nothing, then over a file that is there; remove. */
    char renamed[256];
    snprintf(renamed, sizeof renamed, "%s/renamed", directory);
    CHECK(rename(path_of(directory, "log"), renamed) == 0, "rename over nothing");
    CHECK(fopen(path_of(directory, "log"), "r") == NULL && errno == ENOENT, "old name still there");
    CHECK(rename(renamed, path_of(directory, "gap")) == 0, "rename over a file");
    CHECK(stat(path_of(directory, "gap"), &status) == 0 && status.st_size == 8, "renamed over: size %ld",
        (long)status.st_size);
    CHECK(rename(path_of(directory, "missing"), renamed) != 0 && errno == ENOENT, "rename of nothing");
    CHECK(remove(path_of(directory, "gap")) == 0 && stat(path_of(directory, "gap"), &status) != 0, "remove");
    CHECK(fopen(path_of(directory, "nowhere/x"), "r") == NULL && errno == ENOENT, "open in a missing directory");
    CHECK(
        mkdir(path_of(directory, "sub"), 0755) == 0 && stat(g_path, &status) == 0 && S_ISDIR(status.st_mode), "mkdir");
    CHECK(mkdir(path_of(directory, "sub"), 0755) != 0 && errno == EEXIST, "mkdir twice");
    CHECK(fopen(path_of(directory, "sub"), "w") == NULL, "a directory opened for writing");
    file = fopen(path_of(directory, "sub/inner"), "w");
    CHECK(file != NULL, "file in the new directory");
    if (file)
        fclose(file);
    CHECK(remove(path_of(directory, "sub")) != 0, "removed a directory that holds a file");
    finish();
}

static void times_and_dates(void)
{
    begin("time");
    struct {
        time_t when;
        char const* text;
    } const dates[] = { { 0, "1970-01-01 00:00:00 Thu" }, { 951782400, "2000-02-29 00:00:00 Tue" },
        { 1700000000, "2023-11-14 22:13:20 Tue" }, { 2147483647, "2038-01-19 03:14:07 Tue" } };
    for (unsigned i = 0; i < sizeof dates / sizeof dates[0]; ++i) {
        char text[40];
        struct tm* fields = gmtime(&dates[i].when);
        strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %a", fields);
        CHECK(!strcmp(text, dates[i].text), "gmtime gave %s for %s", text, dates[i].text);
        CHECK(mktime(fields) == dates[i].when, "mktime of %s", dates[i].text);
    }
    time_t now = time(NULL);
    CHECK(now > 1700000000, "time() is %ld", (long)now);
    struct tm* local = localtime(&now);
    CHECK(local && local->tm_year >= 123 && mktime(local) == now, "localtime");
    clock_t before = clock();
    tessary_sleep(100);
    double waited = (double)(clock() - before) / CLOCKS_PER_SEC;
    CHECK(waited >= 0.09 && waited < 1.0, "clock() saw %.3f s of a 0.1 s sleep", waited);
    finish();
}

static void maths(void)
{
    begin("maths");
    CHECK(fabs(sin(M_PI / 6) - 0.5) < 1e-15 && fabs(cos(M_PI) + 1) < 1e-15, "sin, cos");
    CHECK(exp(log(10.0)) > 9.999999999 && exp(log(10.0)) < 10.000000001, "exp, log");
    CHECK(pow(2, 0.5) == sqrt(2) && pow(2, 10) == 1024, "pow, sqrt");
    CHECK(fmod(7.5, 2) == 1.5 && floor(-1.5) == -2 && ceil(-1.5) == -1, "fmod, floor, ceil");
    CHECK(isinf(HUGE_VAL) && isnan(sqrt(-1)), "inf, nan");
    CHECK(frexp(8.0, &(int) { 0 }) == 0.5 && ldexp(0.5, 4) == 8.0, "frexp, ldexp");
    CHECK(fabs(atan2(1, 1) - M_PI / 4) < 1e-15, "atan2");
    finish();
}

/* UDP on a machine without a network card: every call fails with the
   errno that says why, at once, and the addresses are read strictly. */
static void network(void)
{
    begin("network");
    CHECK(udp_open(0) == -1 && errno == ENETDOWN, "udp_open(0) without a card: errno %d", errno);
    CHECK(udp_open(7) == -1 && errno == ENETDOWN, "udp_open(7) without a card: errno %d", errno);
    CHECK(udp_close(7) == -1 && errno == EBADF, "udp_close of a port not open: errno %d", errno);
    CHECK(
        udp_send(7, "192.0.2.9", 7, "x", 1) == -1 && errno == EBADF, "udp_send from a port not open: errno %d", errno);
    unsigned start = tessary_milliseconds();
    char buffer[16];
    struct udp_source source;
    CHECK(udp_receive(7, buffer, sizeof buffer, 5000, &source) == -1 && errno == EBADF,
        "udp_receive on a port not open: errno %d", errno);
    CHECK(tessary_milliseconds() - start < 1000, "udp_receive on a port not open waited");

    unsigned char address[4] = { 0 };
    CHECK(udp_parse_address("192.0.2.255", address) == 0 && address[0] == 192 && address[1] == 0 && address[2] == 2
            && address[3] == 255,
        "192.0.2.255 read as %u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    char const* const wrong[] = { "", "192.0.2", "192.0.2.5.1", "192.0.2.256", "192.0.02.5", " 192.0.2.5", "192.0.2.5 ",
        "192..2.5", "192.0.2.-5", "1920.0.2.5", "a.b.c.d" };
    for (unsigned i = 0; i < sizeof wrong / sizeof wrong[0]; ++i) {
        CHECK(udp_parse_address(wrong[i], address) == -1, "'%s' taken for an address", wrong[i]);
        errno = 0;
        CHECK(udp_send(7, wrong[i], 7, "x", 1) == -1 && errno == EINVAL, "udp_send to '%s': errno %d", wrong[i], errno);
    }
    finish();
}

int main(int argument_count, char** arguments)
{
    char const* directory = argument_count > 1 ? arguments[1] : "/home/root";
    numbers();
    sorting();
    jumps();
    memory();
    files(directory);
    times_and_dates();
    maths();
    network();
    return g_failed;
}
