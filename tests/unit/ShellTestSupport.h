#pragma once

// Helpers shared by the shell's unit tests: a ticking real-time clock, timer
// interrupts on every halt, and running a typed command line.

#include "hal/Time.h"
#include "kernel/Kernel.h"
#include "tests/sim/TestMachine.h"
#include "tests/sim/Text.h"

#include <functional>
#include <string>

// The CMOS clock on ports 0x70/0x71 in 24-hour binary mode. Its second
// advances after every `readsPerSecond` reads of the seconds register, so
// the busy waits on the clock make progress; `onSecond` runs after each
// advance with the number of seconds elapsed.
class CmosClock : public Sim::PortDevice {
public:
    explicit CmosClock(u8 hour = 0, u8 minute = 0, u8 second = 0, int readsPerSecond = 3)
        : m_hour(hour)
        , m_minute(minute)
        , m_second(second)
        , m_readsPerSecond(readsPerSecond)
    {
        Sim::attach(0x70, 0x71, this);
        RTC::Reset();
    }

    std::function<void(int elapsed)> onSecond;

    u32 read(u16 port, int) override
    {
        if (port == 0x70)
            return m_index;
        switch (m_index) {
        case 0x00:
            if (++m_reads % m_readsPerSecond == 0)
                tick();
            return m_second;
        case 0x02:
            return m_minute;
        case 0x04:
            return m_hour;
        case 0x0B:
            return 0x06;
        default:
            return 0;
        }
    }
    void write(u16 port, u32 value, int) override
    {
        if (port == 0x70)
            m_index = static_cast<u8>(value & 0x7F);
    }

private:
    void tick()
    {
        m_second = static_cast<u8>((m_second + 1) % 60);
        if (onSecond)
            onSecond(++m_elapsed);
    }

    u8 m_index { 0 };
    u8 m_hour, m_minute, m_second;
    int m_readsPerSecond;
    int m_reads { 0 };
    int m_elapsed { 0 };
};

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
    Vector<String> parts = SplitAtFirstSpace(line);
    Argument argument;
    if (parts.size() > 1)
        argument = parts[1];
    return kernel.runFunc(parts.is_empty() ? String() : parts[0], argument);
}
