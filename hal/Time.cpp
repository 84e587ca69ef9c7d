#include "hal/Time.h"

#include "arch/Cpu.h"
#include "arch/Port.h"
#include "hal/Idle.h"
#include "hal/Interrupts.h"

namespace {

constexpr u16 CmosIndex = 0x70;
constexpr u16 CmosData = 0x71;
constexpr u8 StatusA = 0x0A;
constexpr u8 StatusB = 0x0B;
constexpr u8 UpdateInProgress = 0x80;
// The flag rises 244 us before an update that itself takes under 2 ms. A flag
// still up after this long belongs to a broken clock (a dead CMOS reads 0xFF
// everywhere), whose registers are then read as they are.
constexpr u32 UpdateWaitMilliseconds = 3;
// A second of a running clock ends within 1000 ms; the margin covers reads
// that had to wait out an update.
constexpr u32 SecondWaitMilliseconds = 1100;

constexpr u16 PitChannel0 = 0x40;
constexpr u16 PitChannel2 = 0x42;
constexpr u16 PitCommand = 0x43;
// Port B of the system board: bit 0 gates channel 2, bit 1 would connect its
// output to the speaker.
constexpr u16 SystemControlB = 0x61;
constexpr u8 Channel2Gate = 0x01;
constexpr u8 SpeakerData = 0x02;
// Channel 2, low then high byte, mode 2 (rate generator), binary.
constexpr u8 Channel2RateGenerator = 0xB4;
constexpr u8 Channel2Latch = 0x80;

struct ClockMode {
    bool known { false };
    bool twenty_four_hour { false };
    bool bcd { false };
};
ClockMode g_mode;

u8 read_register(u8 reg)
{
    Port::out8(CmosIndex, reg);
    return Port::in8(CmosData);
}

ClockMode const& mode()
{
    if (!g_mode.known) {
        u8 b = read_register(StatusB);
        g_mode = { true, (b & 0x02) != 0, (b & 0x04) == 0 };
    }
    return g_mode;
}

u8 read_clock(u8 reg)
{
    Deadline limit(UpdateWaitMilliseconds);
    while ((read_register(StatusA) & UpdateInProgress) && !limit.has_passed()) { }
    return read_register(reg);
}

u8 from_bcd(u8 value) { return static_cast<u8>(((value >> 4) & 0x0F) * 10 + (value & 0x0F)); }
u8 read_value(u8 reg) { return mode().bcd ? from_bcd(read_clock(reg)) : read_clock(reg); }

// Period of the one-shot now armed, for the registered timers.
u32 g_armed_nanoseconds = 0;
// Whose timers the one-shots count down, while a PIT waits.
PIT* g_waiting_pit = nullptr;
// Set by the line-0 interrupt when the armed one-shot has fired.
bool volatile g_one_shot_fired = false;

// Halts until the one-shot armed by the caller has fired.
void wait_for_one_shot()
{
    for (;;) {
        Cpu::disable_interrupts();
        if (g_one_shot_fired)
            break;
        // The one-shot is armed: a plain halt, which it ends.
        Cpu::enable_interrupts_and_halt();
        Idle::run_task();
    }
    g_one_shot_fired = false;
    Cpu::enable_interrupts();
}

// Channel 2 counts down from 65536 for ever at the timer's input frequency,
// silently: the speaker stays disconnected.
void start_free_running_counter()
{
    static bool g_started = false;
    if (g_started)
        return;
    g_started = true;
    u8 control = Port::in8(SystemControlB);
    Port::out8(SystemControlB, static_cast<u8>((control & ~SpeakerData) | Channel2Gate));
    Port::out8(PitCommand, Channel2RateGenerator);
    Port::out8(PitChannel2, 0);
    Port::out8(PitChannel2, 0);
}

u16 read_free_running_counter()
{
    Port::out8(PitCommand, Channel2Latch);
    u8 low = Port::in8(PitChannel2);
    u8 high = Port::in8(PitChannel2);
    return static_cast<u16>(low | high << 8);
}

}

Deadline::Deadline(u32 milliseconds)
    : m_ticks_left(static_cast<u64>(milliseconds) * PIT::Frequency / 1000)
{
    start_free_running_counter();
    m_last = read_free_running_counter();
}

bool Deadline::has_passed()
{
    if (m_ticks_left == 0)
        return true;
    u16 now = read_free_running_counter();
    // The counter counts down and wraps from 1 to 65536 (read as 0).
    u16 elapsed = static_cast<u16>(m_last - now);
    m_last = now;
    m_ticks_left = elapsed >= m_ticks_left ? 0 : m_ticks_left - elapsed;
    return m_ticks_left == 0;
}

void RTC::reset() { g_mode = {}; }
u8 RTC::second() { return read_value(0x00); }
u8 RTC::minute() { return read_value(0x02); }
u8 RTC::day_of_the_week() { return read_value(0x06); }
u8 RTC::day_of_the_month() { return read_value(0x07); }
u8 RTC::month() { return read_value(0x08); }
u8 RTC::year() { return read_value(0x09); }

u32 RTC::seconds_since_1970()
{
    // The clock keeps two digits of the year: 00-99 are 2000-2099.
    return seconds_since_1970(2000 + year(), month(), day_of_the_month(), hour(), minute(), second());
}

void RTC::wait_for_next_second()
{
    Deadline limit(SecondWaitMilliseconds);
    u8 start = second();
    while (second() == start && !limit.has_passed()) { }
}

u8 RTC::hour()
{
    u8 raw = read_clock(0x04);
    if (mode().twenty_four_hour)
        return mode().bcd ? from_bcd(raw) : raw;
    bool pm = raw & 0x80;
    u8 hour = static_cast<u8>(raw & 0x7F);
    if (mode().bcd)
        hour = from_bcd(hour);
    if (!pm)
        return hour == 12 ? 0 : hour;
    return hour == 12 ? 12 : static_cast<u8>(hour + 12);
}

void PIT::arm_one_shot(u32 divisor)
{
    // Every one-shot enables every line of the interrupt controllers, the
    // timer's among them, by their masks alone: initialising them again
    // would throw away the requests they hold, and a keyboard whose request
    // is lost never raises another while its byte waits unread.
    PIC::set_masks(0x00, 0x00);
    g_armed_nanoseconds = static_cast<u32>(static_cast<u64>(divisor & 0xFFFF) * 1000000000ull / Frequency);
    Port::out8(PitCommand, 0x30);
    Port::out8(PitChannel0, static_cast<u8>(divisor & 0xFF));
    Port::out8(PitChannel0, static_cast<u8>((divisor >> 8) & 0xFF));
}

ErrorOr<i32> PIT::register_timer(PITTimer* timer)
{
    if (timer->timer_id != -1)
        return Error("Timer has already been registered!");
    timer->timer_id = m_timer_counter++;
    m_timers.append(timer);
    return timer->timer_id;
}

void PIT::unregister_timer(i32 id)
{
    for (size_t i = 0; i < m_timers.size(); ++i) {
        if (m_timers[i]->timer_id == id) {
            m_timers.remove(i);
            return;
        }
    }
}

void PIT::elapse(u32 nanoseconds)
{
    for (size_t i = 0; i < m_timers.size();) {
        PITTimer* timer = m_timers[i];
        timer->nanoseconds_left -= static_cast<i32>(nanoseconds);
        if (timer->nanoseconds_left > 0) {
            ++i;
            continue;
        }
        timer->trigger_routine();
        if (timer->recurring) {
            timer->nanoseconds_left += timer->nanoseconds_timeout;
            ++i;
        } else {
            m_timers.remove(i);
        }
    }
}

void PIT::wait(u32 milliseconds)
{
    // The system has no periodic tick: the timers are counted down by the
    // one-shot periods of the wait, armed only while someone waits.
    g_waiting_pit = this;
    Time::wait_ms(milliseconds);
    g_waiting_pit = nullptr;
}

void Time::on_timer_interrupt()
{
    g_one_shot_fired = true;
    if (g_waiting_pit)
        g_waiting_pit->elapse(g_armed_nanoseconds);
}

void Time::wait(i32 seconds)
{
    // A second at a time, so no product of seconds and milliseconds can
    // overflow.
    for (i32 i = 0; i < seconds; ++i)
        wait_ms(1000);
}

void Time::wait_ms(u32 milliseconds)
{
    // Periods of up to 50 ms: the counter holds at most 65535 input clocks
    // (about 55 ms).
    while (milliseconds > 0) {
        u32 chunk = milliseconds < 50 ? milliseconds : 50;
        g_one_shot_fired = false;
        // Rounded up: a wait never ends early, so a timer counted down by
        // these periods has always run by the end of a wait as long as its own.
        PIT::arm_one_shot((PIT::Frequency * chunk + 999) / 1000);
        wait_for_one_shot();
        milliseconds -= chunk;
    }
}

namespace {
// The system has no periodic tick to count (the one-shots run only while
// someone waits), but the time-stamp counter runs at a fixed rate, on QEMU
// and on the processors of the last fifteen years: once its rate is known,
// time is one RDTSC away. The rate is measured over 50 ms
// of the interval timer's free-running channel 2, polled without pause, so
// the measurement is off by a few microseconds of overshoot at most: far
// under a percent. Measured lazily, so the boot does not wait for it.
constexpr u32 CalibrationMilliseconds = 50;
u64 g_start_timestamp = 0;
u64 g_timestamps_per_millisecond = 0;

u64 timestamps_per_millisecond()
{
    if (g_timestamps_per_millisecond == 0) {
        Deadline calibration(CalibrationMilliseconds);
        u64 first = Cpu::timestamp_counter();
        while (!calibration.has_passed()) { }
        u64 measured = (Cpu::timestamp_counter() - first) / CalibrationMilliseconds;
        g_timestamps_per_millisecond = measured ? measured : 1;
    }
    return g_timestamps_per_millisecond;
}
}

void Time::mark_start() { g_start_timestamp = Cpu::timestamp_counter(); }

u32 Time::milliseconds_since_start()
{
    u64 per_millisecond = timestamps_per_millisecond();
    return static_cast<u32>((Cpu::timestamp_counter() - g_start_timestamp) / per_millisecond);
}

String Time::get_correct_minute()
{
    u8 minute = RTC::minute();
    return String::zero_padded(minute, 2);
}

String Time::twenty_four_hour_to_string() { return String::number(RTC::hour()) + ":" + get_correct_minute(); }

String Time::twelve_hour_to_string()
{
    u8 hour = RTC::hour();
    String minute = get_correct_minute();
    if (hour == 0)
        return "12:" + minute + "am";
    if (hour < 12)
        return String::number(hour) + ":" + minute + "am";
    if (hour == 12)
        return "12:" + minute + "pm";
    return String::number(hour - 12) + ":" + minute + "pm";
}
