#include "gfx/Mouse.h"

#include "arch/Cpu.h"
#include "arch/Port.h"

namespace {
constexpr u16 DataPort = 0x60;
constexpr u16 CommandPort = 0x64; // status when read
constexpr u8 OutputFull = 0x01;
constexpr u8 InputFull = 0x02;
constexpr u8 AuxiliaryData = 0x20;
constexpr int PollLimit = 100;

i32 clamp(i32 value, i32 low, i32 high) { return value < low ? low : value > high ? high : value; }
}

i32 volatile Mouse::X = 0;
i32 volatile Mouse::Y = 0;
i32 volatile Mouse::Buttons = 0;
u32 volatile Mouse::Events = 0;
u8 Mouse::mouse_byte[4] = {};
u8 Mouse::mouse_cycle = 0;

void Mouse::WaitSignal()
{
    for (int i = 0; i < PollLimit && (Port::in8(CommandPort) & InputFull); ++i) { }
}

void Mouse::WaitData()
{
    for (int i = 0; i < PollLimit && !(Port::in8(CommandPort) & OutputFull); ++i) { }
}

void Mouse::Write(u8 value)
{
    WaitSignal();
    Port::out8(CommandPort, 0xD4); // the next data byte goes to the mouse
    WaitSignal();
    Port::out8(DataPort, value);
}

u8 Mouse::Read()
{
    WaitData();
    return Port::in8(DataPort);
}

void Mouse::Initialize()
{
    {
        // The controller's answers would otherwise raise the keyboard's
        // interrupt, whose routine would take them first.
        InterruptGuard guard;
        WaitSignal();
        Port::out8(CommandPort, 0xA8); // enable the auxiliary device
        WaitSignal();
        Port::out8(CommandPort, 0x20); // read the configuration byte
        WaitData();
        u8 configuration = static_cast<u8>(Port::in8(DataPort) | 0x02); // auxiliary interrupt on
        WaitSignal();
        Port::out8(CommandPort, 0x60);
        WaitSignal();
        Port::out8(DataPort, configuration);
        Write(0xF6); // defaults
        Read();
        Write(0xF4); // streaming on
        Read();
        INTs::SetIrqHandler(12, HandleMouse);
    }
    PIC::ClearMask(2); // the cascade
    PIC::ClearMask(12);
}

void Mouse::WaitForEvent(u32 seen)
{
    Cpu::disable_interrupts();
    while (Events == seen) {
        Cpu::enable_interrupts_and_halt();
        Cpu::disable_interrupts();
    }
    Cpu::enable_interrupts();
}

void Mouse::HandleMouse(IRQContext&)
{
    Events = Events + 1;
    // An interrupt latched while the controller was being set up can arrive
    // after its byte has been taken: never read a byte that is not there.
    if ((Port::in8(CommandPort) & (OutputFull | AuxiliaryData)) != (OutputFull | AuxiliaryData))
        return;
    u8 byte = Port::in8(DataPort);
    switch (mouse_cycle) {
    case 0:
        mouse_byte[0] = byte;
        // Bit 3 is set in every first byte: anything else is dropped until
        // the stream is back in step.
        if (byte & 0x08)
            mouse_cycle = 1;
        break;
    case 1:
        mouse_byte[1] = byte;
        mouse_cycle = 2;
        break;
    default: {
        mouse_byte[2] = byte;
        mouse_cycle = 0;
        i32 dx = mouse_byte[1] - ((mouse_byte[0] & 0x10) ? 256 : 0);
        i32 dy = mouse_byte[2] - ((mouse_byte[0] & 0x20) ? 256 : 0);
        X = clamp(X + dx, 0, 319);
        Y = clamp(Y - dy, 0, 199);
        Buttons = mouse_byte[0] & 7;
        break;
    }
    }
}
