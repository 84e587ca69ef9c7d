#include "hal/Debugger.h"

#include "arch/Port.h"

namespace {
constexpr u16 Com1 = 0x3F8;
constexpr u16 LineStatus = Com1 + 5;
constexpr u8 TransmitterEmpty = 0x20;

void initialize_once()
{
    static bool initialized = false;
    if (initialized)
        return;
    initialized = true;
    Port::out8(Com1 + 1, 0x00); // no interrupts
    Port::out8(Com1 + 3, 0x80); // divisor latch
    Port::out8(Com1 + 0, 0x01); // 115200 baud
    Port::out8(Com1 + 1, 0x00);
    Port::out8(Com1 + 3, 0x03); // 8 bits, no parity, one stop bit
    Port::out8(Com1 + 2, 0xC7); // FIFO on
}

void put(u8 byte)
{
    // Bounded: a machine without a serial port must not hang on its log.
    for (int i = 0; i < 10000 && !(Port::in8(LineStatus) & TransmitterEmpty); ++i) { }
    Port::out8(Com1, byte);
}
}

void Debugger::Send(String const& text)
{
    initialize_once();
    for (char16_t c : text.chars())
        put(static_cast<u8>(c & 0xFF));
    put('\n');
}
