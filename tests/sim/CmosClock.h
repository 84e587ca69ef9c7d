#pragma once

// The real-time clock's CMOS registers behind ports 0x70/0x71. A test sets
// the registers directly; the clock starts in binary 24-hour mode (status
// register B = 0x06). When `reads_per_second` is not 0 the seconds register
// advances after that many reads of it, so busy waits on the clock make
// progress. Status register A reads as set, with the update-in-progress flag
// added for `busy_reads` reads. Code that polls the clock a million times
// within one of its seconds is taken to be stuck for ever: the read throws,
// so the test fails instead of hanging.

#include "hal/Time.h"
#include "tests/sim/Sim.h"

#include <stdexcept>

class CmosClock : public Sim::PortDevice {
public:
    explicit CmosClock(u8 hour = 0, u8 minute = 0, u8 second = 0, int reads_per_second = 3)
        : reads_per_second(reads_per_second)
    {
        registers[0x00] = second;
        registers[0x02] = minute;
        registers[0x04] = hour;
        registers[0x0B] = 0x06;
        Sim::attach(0x70, 0x71, this);
        RTC::reset();
    }

    u8 registers[128] {};
    int reads_per_second;
    int busy_reads { 0 };

    u32 read(u16 port, int) override
    {
        if (port == 0x70)
            return m_index;
        if (++m_reads_this_second > 1000000)
            throw std::runtime_error("the clock was polled a million times within one of its seconds");
        if (m_index == 0x0A) {
            if (busy_reads > 0) {
                --busy_reads;
                return registers[0x0A] | 0x80;
            }
            return registers[0x0A];
        }
        if (m_index == 0x00 && reads_per_second && ++m_reads % reads_per_second == 0)
            tick();
        return registers[m_index];
    }
    void write(u16 port, u32 value, int) override
    {
        if (port == 0x70)
            m_index = static_cast<u8>(value & 0x7F);
    }

private:
    void tick()
    {
        m_reads_this_second = 0;
        registers[0x00] = static_cast<u8>((registers[0x00] + 1) % 60);
    }

    u8 m_index { 0 };
    int m_reads { 0 };
    int m_reads_this_second { 0 };
};
