#include "bench/Bench.h"

#include "arch/Cpu.h"
#include "fs/BlockDevice.h"
#include "hal/Debugger.h"
#include "hal/Time.h"
#include "kernel/Kernel.h"

namespace {
u64 g_ticks_per_second = 0;

// Linking bench/ into an image makes it the benchmark image.
struct RunInsteadOfTheShell {
    RunInsteadOfTheShell()
    {
        Kernel::run_after_boot_screen([](Kernel& kernel) -> ErrorOr<void> { Bench::run_all(kernel); });
    }
} g_run_instead_of_the_shell;
}

namespace Bench {

void calibrate()
{
    // Against the interval timer, which runs whatever the CMOS clock does.
    Deadline second(1000);
    u64 start = Cpu::timestamp_counter();
    while (!second.has_passed()) { }
    g_ticks_per_second = Cpu::timestamp_counter() - start;
    Debugger::send(
        "BENCH-INFO time-stamp counter: " + String::number(static_cast<i64>(g_ticks_per_second / 1000)) + " kHz");
}

Stopwatch::Stopwatch()
    : m_start(Cpu::timestamp_counter())
{
}

u64 Stopwatch::elapsed_microseconds() const
{
    u64 ticks = Cpu::timestamp_counter() - m_start;
    return g_ticks_per_second ? ticks * 1000000 / g_ticks_per_second : 0;
}

u64 kib_per_second(u64 bytes, Stopwatch const& watch)
{
    u64 us = watch.elapsed_microseconds();
    return us ? bytes * 1000000 / 1024 / us : 0;
}

void report(String const& name, u64 value, String const& unit, String const& baseline)
{
    String line = "BENCH " + name + " " + String::number(static_cast<i64>(value)) + " " + unit;
    if (!baseline.is_empty())
        line += " vs " + baseline;
    Debugger::send(line);
}

void fail(String const& what) { Debugger::send("BENCH failed: " + what); }

bool check(ErrorOr<void> const& result, char const* what)
{
    if (!result.is_error())
        return true;
    fail(String(what) + ": " + result.error().message());
    return false;
}

void run_all(Kernel& kernel)
{
    calibrate();
    run_disk_benchmarks(kernel.storage());
    // bench/run boots this image a second time, on a board whose disk sits
    // behind AHCI, for that disk's figures: the other groups would measure
    // the same as on the first boot.
    BlockDevice* disk = boot_disk(kernel.storage());
    if (!disk || !disk->as_ahci()) {
        run_console_benchmarks();
        run_graphics_benchmarks();
        run_program_benchmarks(kernel);
        run_library_benchmarks(kernel);
    }
    Debugger::send("BENCH done");
    Cpu::halt_forever();
}

}
