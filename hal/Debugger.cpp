#include "hal/Debugger.h"

#include "arch/Port.h"
#include "hal/Time.h"

namespace {
constexpr u16 Com1 = 0x3F8;
constexpr u16 LineStatus = Com1 + 5;
constexpr u8 TransmitterEmpty = 0x20;
constexpr u32 TransmitMilliseconds = 2;

void initialize_once()
{
    static bool g_initialized = false;
    if (g_initialized)
        return;
    g_initialized = true;
    Port::out8(Com1 + 1, 0x00); // no interrupts
    Port::out8(Com1 + 3, 0x80); // divisor latch
    Port::out8(Com1 + 0, 0x01); // 115200 baud
    Port::out8(Com1 + 1, 0x00);
    Port::out8(Com1 + 3, 0x03); // 8 bits, no parity, one stop bit
    Port::out8(Com1 + 2, 0xC7); // FIFO on
}

bool transmitter_empty() { return Port::in8(LineStatus) & TransmitterEmpty; }

void put(u8 byte)
{
    // Bounded: a broken serial port must not hang the system on its log. A
    // byte takes under 0.1 ms at 115200 baud, and mostly the transmitter is
    // empty already, so the limit is only set up when it is not.
    if (!transmitter_empty()) {
        Deadline limit(TransmitMilliseconds);
        while (!transmitter_empty() && !limit.has_passed()) { }
    }
    Port::out8(Com1, byte);
}
}

void Debugger::send(String const& text)
{
    initialize_once();
    for (char16_t c : text.chars())
        put(static_cast<u8>(c & 0xFF));
    put('\n');
}

void Debugger::send(std::initializer_list<char const*> pieces)
{
    initialize_once();
    for (char const* piece : pieces) {
        for (size_t i = 0; piece[i]; ++i)
            put(static_cast<u8>(piece[i]));
    }
    put('\n');
}
