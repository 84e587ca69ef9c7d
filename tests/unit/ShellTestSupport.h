#pragma once

// Helpers shared by the shell's unit tests: a ticking real-time clock, timer
// interrupts on every halt, and running a typed command line.

#include "base/StdString.h"
#include "hal/Time.h"
#include "kernel/Commands.h"
#include "tests/sim/CmosClock.h"
#include "tests/sim/TestMachine.h"

#include <functional>
#include <string>

// Every halt is ended by a timer interrupt, so the millisecond waits pass at
// once; after `limit` halts the run is stopped with Sim::Stopped.
inline void timer_on_every_halt(u64 limit = 1000000)
{
    Sim::on_halt([limit] {
        if (Sim::halt_count() > limit)
            throw Sim::Stopped {};
        Sim::raise_irq(0);
    });
}

// Dispatches a line as the prompt does: the word before the first space and
// the rest as the argument.
inline ErrorOr<void> run_line(Kernel& kernel, String const& line)
{
    Vector<String> parts = split_at_first_space(line);
    Argument argument;
    if (parts.size() > 1)
        argument = parts[1];
    return kernel.run_command(parts.is_empty() ? String() : parts[0], argument);
}
