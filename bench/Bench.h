#pragma once

#include "base/Error.h"

class BlockDevice;
class Kernel;
class Storage;

// The benchmark image's toolkit. Figures go to the kernel log (COM1) as
//   BENCH <name> <value> <unit> [vs <baseline name>]
// and bench/run prints them with their ratio to the named baseline, which
// must be measured in the same run.
namespace Bench {

// Elapsed time from the processor's time-stamp counter, calibrated against
// the real-time clock once per run.
class Stopwatch {
public:
    Stopwatch();
    u64 elapsed_microseconds() const;

private:
    u64 m_start;
};

// Measures the time-stamp counter's rate; call once before any Stopwatch.
void calibrate();

void report(String const& name, u64 value, String const& unit, String const& baseline = {});
// Bytes moved in the stopwatch's time, as KiB/s.
u64 kib_per_second(u64 bytes, Stopwatch const& watch);
void fail(String const& what);
// True when the step succeeded; otherwise reports "what: message" with Fail.
bool check(ErrorOr<void> const& result, char const* what);

// Runs every benchmark group, reports "BENCH done" and stops the machine.
[[noreturn]] void run_all(Kernel& kernel);

// The groups; each lives in its own bench/<Group>Bench.cpp and is listed in
// run_all (bench/Bench.cpp).
void run_disk_benchmarks(Storage& storage);
// The whole disk that holds the boot volume, or null without one.
BlockDevice* boot_disk(Storage& storage);
void run_graphics_benchmarks();
void run_console_benchmarks();
void run_program_benchmarks(Kernel& kernel);
void run_library_benchmarks(Kernel& kernel);

}
