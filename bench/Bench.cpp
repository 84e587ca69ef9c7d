#include "bench/Bench.h"

#include "arch/Cpu.h"
#include "hal/Debugger.h"
#include "hal/Time.h"
#include "kernel/Kernel.h"

namespace {
u64 s_ticksPerSecond = 0;

// Linking bench/ into an image makes it the benchmark image.
struct RunInsteadOfTheShell {
    RunInsteadOfTheShell() { Kernel::run_after_boot_screen(Bench::RunAll); }
} s_runInsteadOfTheShell;
}

namespace Bench {

void Calibrate()
{
    // Against the interval timer, which runs whatever the CMOS clock does.
    Deadline second(1000);
    u64 start = Cpu::timestamp_counter();
    while (!second.has_passed()) { }
    s_ticksPerSecond = Cpu::timestamp_counter() - start;
    Debugger::Send("BENCH-INFO time-stamp counter: " + String::number(static_cast<i64>(s_ticksPerSecond / 1000))
        + " kHz");
}

Stopwatch::Stopwatch()
    : m_start(Cpu::timestamp_counter())
{
}

u64 Stopwatch::ElapsedMicroseconds() const
{
    u64 ticks = Cpu::timestamp_counter() - m_start;
    return s_ticksPerSecond ? ticks * 1000000 / s_ticksPerSecond : 0;
}

u64 KibPerSecond(u64 bytes, Stopwatch const& watch)
{
    u64 us = watch.ElapsedMicroseconds();
    return us ? bytes * 1000000 / 1024 / us : 0;
}

void Report(String const& name, u64 value, String const& unit, String const& baseline)
{
    String line = "BENCH " + name + " " + String::number(static_cast<i64>(value)) + " " + unit;
    if (!baseline.is_empty())
        line += " vs " + baseline;
    Debugger::Send(line);
}

void Fail(String const& what) { Debugger::Send("BENCH failed: " + what); }

bool Check(ErrorOr<void> const& result, char const* what)
{
    if (!result.is_error())
        return true;
    Fail(String(what) + ": " + result.error().message());
    return false;
}

void RunAll(Kernel& kernel)
{
    Calibrate();
    RunDiskBenchmarks(kernel.storage());
    RunConsoleBenchmarks();
    RunGraphicsBenchmarks();
    Debugger::Send("BENCH done");
    Cpu::halt_forever();
}

}
