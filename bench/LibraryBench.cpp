#include "bench/Bench.h"

#include "kernel/Kernel.h"

// The C library's figures, measured by a program built with the SDK
// (bench/programs/library.c) that bench/run puts on the disk with a large
// file to read, against what the kernel does without it: the file system's
// own read of the same file, the write call, one plain copy of a frame to
// 0xA0000 (the graphics group's gfx.raw_copy_64000).
namespace {

char const* const ProgramPath = "/bench/library.exe";
char const* const DataPath = "/bench/data.wad";
char const* const ResultsPath = "/bench/results.txt";
constexpr u32 ReadPiece = 1024 * 1024;

// The file system's read of the whole file, in the pieces that suit it best.
ErrorOr<u64> file_system_read_rate(Filesystem& files)
{
    auto record = TRY(files.stat(DataPath));
    u64 length = record.content_length().value_or(0);
    Bench::Stopwatch watch;
    for (u64 offset = 0; offset < length; offset += ReadPiece)
        TRY(files.read(DataPath, offset, ReadPiece));
    return Bench::kib_per_second(length, watch);
}

// The number after `name` and a space at the start of a line of the
// results, or 0.
u64 result(ByteBuffer const& results, char const* name)
{
    size_t length = __builtin_strlen(name);
    for (size_t line = 0; line < results.size();) {
        size_t at = line + length;
        bool named
            = at < results.size() && results[at] == ' ' && __builtin_memcmp(results.data() + line, name, length) == 0;
        u64 value = 0;
        for (++at; named && at < results.size() && results[at] >= '0' && results[at] <= '9'; ++at)
            value = value * 10 + (results[at] - '0');
        if (named)
            return value;
        while (line < results.size() && results[line++] != '\n') { }
    }
    return 0;
}

}

void Bench::run_library_benchmarks(Kernel& kernel)
{
    auto files = kernel.storage().filesystem();
    if (files.is_error())
        return fail("library: no disk file system");
    auto fs_rate = file_system_read_rate(*files.value());
    if (fs_rate.is_error())
        return fail(String("library: ") + DataPath + ": " + fs_rate.error().message());
    report("library.fs_read", fs_rate.value(), "KiB/s");

    String arguments = String(ProgramPath) + " " + DataPath + " " + ResultsPath;
    if (!check(kernel.run_command("run", arguments), "library: run"))
        return;
    auto read = files.value()->read_file(ResultsPath);
    if (read.is_error())
        return fail("library: the program left no results");
    ByteBuffer const& results = read.value();
    report("library.fread_64k", result(results, "fread_kib_per_second"), "KiB/s", "library.fs_read");
    report("library.write_lines", result(results, "write_us"), "us");
    report("library.printf_lines", result(results, "printf_us"), "us", "library.write_lines");
    report("library.show_frame", result(results, "show_frame_us"), "us", "gfx.raw_copy_64000");
}
