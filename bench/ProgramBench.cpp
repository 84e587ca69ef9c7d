#include "bench/Bench.h"

#include "kernel/Kernel.h"
#include "sdk/tessary_calls.h"

// A system call's round trip and a whole `run` of a program, which happen in
// ring 3 with paging, against the same work done in ring 0: an INT 0x80 made
// by the kernel itself, and `exe`, which loads and checks a program as `run`
// does but enters nothing (a ring-0 program's run was that and a near call).
namespace {

constexpr u32 Calls = 100000;
constexpr u32 Runs = 20;
// A number no call has: the dispatcher returns at once.
constexpr u32 NothingCall = 3;
char const* const ProgramPath = "/bench_calls.exe";
char const* const EmptyProgramPath = "/bench_empty.exe";

// A plain MZ file, linked at 1 MiB, whose code makes `calls` calls that do
// nothing and returns:
//   mov ecx, calls / jecxz done / again: mov eax, 3 / int 0x80 / dec ecx /
//   jnz again / done: ret
ByteBuffer calling_program(u32 calls)
{
    u8 const code[] = { 0xB9, static_cast<u8>(calls), static_cast<u8>(calls >> 8), static_cast<u8>(calls >> 16),
        static_cast<u8>(calls >> 24), 0xE3, 0x0A, 0xB8, NothingCall, 0, 0, 0, 0xCD, TESSARY_SYSTEM_CALL_VECTOR, 0x49,
        0x75, 0xF6, 0xC3 };
    ByteBuffer file;
    file.resize(32);
    u32 size = static_cast<u32>(file.size() + sizeof code);
    file[0] = 'M';
    file[1] = 'Z';
    file[2] = static_cast<u8>(size % 512);
    file[4] = static_cast<u8>((size + 511) / 512);
    file[8] = 2;     // header paragraphs
    file[0x18] = 32; // the (empty) relocation table
    for (u8 byte : code)
        file.append(byte);
    return file;
}

// Microseconds `times` runs of the command take, each.
ErrorOr<u64> command_time(Kernel& kernel, char const* word, char const* path, u32 times)
{
    Bench::Stopwatch watch;
    for (u32 i = 0; i < times; ++i)
        TRY(kernel.run_command(word, String(path)));
    return watch.elapsed_microseconds() / times;
}

}

void Bench::run_program_benchmarks(Kernel& kernel)
{
    auto files = kernel.storage().filesystem();
    if (files.is_error())
        return fail("programs: no disk file system");
    if (!check(files.value()->save_file(calling_program(Calls), ProgramPath, "root"), "programs: save")
        || !check(files.value()->save_file(calling_program(0), EmptyProgramPath, "root"), "programs: save"))
        return;

    Stopwatch kernel_calls;
    for (u32 i = 0; i < Calls; ++i)
        asm volatile("int %0" ::"i"(TESSARY_SYSTEM_CALL_VECTOR), "a"(NothingCall) : "memory");
    report("programs.system_call_ring0", kernel_calls.elapsed_microseconds() * 1000 / Calls, "ns");

    // The calls alone: a run with them less a run without.
    auto with_calls = command_time(kernel, "run", ProgramPath, 1);
    auto empty = command_time(kernel, "run", EmptyProgramPath, Runs);
    auto load = command_time(kernel, "exe", EmptyProgramPath, Runs);
    if (with_calls.is_error() || empty.is_error() || load.is_error())
        return fail("programs: a run failed");
    u64 calls = with_calls.value() > empty.value() ? with_calls.value() - empty.value() : 0;
    report("programs.system_call", calls * 1000 / Calls, "ns", "programs.system_call_ring0");
    report("programs.load_program", load.value(), "us");
    report("programs.run_empty_program", empty.value(), "us", "programs.load_program");
}
