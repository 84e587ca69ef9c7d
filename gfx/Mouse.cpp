#include "gfx/Mouse.h"

#include "arch/Cpu.h"
#include "arch/Port.h"
#include "hal/Idle.h"
#include "hal/Interrupts.h"
#include "hal/Time.h"

namespace {
constexpr u16 DataPort = 0x60;
constexpr u16 CommandPort = 0x64; // status when read
constexpr u8 OutputFull = 0x01;
constexpr u8 InputFull = 0x02;
constexpr u8 AuxiliaryData = 0x20;
constexpr u8 Acknowledge = 0xFA;
// A controller takes a byte within microseconds and a mouse answers a
// command within about 25 ms; the limits allow for slow hardware, and keep a
// machine without a mouse from hanging.
constexpr u32 ControllerWaitMilliseconds = 50;
constexpr u32 AnswerWaitMilliseconds = 100;
// Every first byte of a packet has bit 3 set; bits 6 and 7 report a movement
// too large to count, which a mouse in step all but never sends. A late
// acknowledgement (0xFA), a self-test result (0xAA) or a packet byte out of
// step betrays itself by one or the other.
constexpr u8 FirstByteMarks = 0xC8;
constexpr u8 FirstByte = 0x08;

// The state the interrupt routine fills and the desktops poll.
i32 volatile g_mouse_x = 0;
i32 volatile g_mouse_y = 0;
i32 volatile g_mouse_buttons = 0;
u32 volatile g_mouse_events = 0;
u8 g_packet[3] = {};
u32 g_packet_bytes_taken = 0;

i32 clamp(i32 value, i32 low, i32 high) { return value < low ? low : value > high ? high : value; }

// Drops what the controller holds from before (a key, part of a packet from
// a mouse set up earlier): it would be taken for the answers to come.
void discard_waiting_bytes()
{
    Deadline limit(ControllerWaitMilliseconds);
    while ((Port::in8(CommandPort) & OutputFull) && !limit.has_passed())
        (void)Port::in8(DataPort);
}

// Waits for the mouse's acknowledgement of a command, dropping whatever else
// arrives meanwhile. Left in the controller, an acknowledgement that came
// late would reach the interrupt routine as the start of a packet.
void wait_until_controller_takes_input()
{
    Deadline limit(ControllerWaitMilliseconds);
    while ((Port::in8(CommandPort) & InputFull) && !limit.has_passed()) { }
}

void wait_for_output()
{
    Deadline limit(AnswerWaitMilliseconds);
    while (!(Port::in8(CommandPort) & OutputFull) && !limit.has_passed()) { }
}

void write_to_mouse(u8 value)
{
    wait_until_controller_takes_input();
    Port::out8(CommandPort, 0xD4); // the next data byte goes to the mouse
    wait_until_controller_takes_input();
    Port::out8(DataPort, value);
}

void wait_for_acknowledgement()
{
    Deadline limit(AnswerWaitMilliseconds);
    while (!limit.has_passed()) {
        u8 status = Port::in8(CommandPort);
        if ((status & OutputFull) && Port::in8(DataPort) == Acknowledge && (status & AuxiliaryData))
            return;
    }
}

void handle_mouse(IRQContext&)
{
    g_mouse_events = g_mouse_events + 1;
    // An interrupt latched while the controller was being set up can arrive
    // after its byte has been taken: never read a byte that is not there.
    if ((Port::in8(CommandPort) & (OutputFull | AuxiliaryData)) != (OutputFull | AuxiliaryData))
        return;
    u8 byte = Port::in8(DataPort);
    switch (g_packet_bytes_taken) {
    case 0:
        g_packet[0] = byte;
        // Anything that cannot start a packet is dropped until the stream is
        // back in step.
        if ((byte & FirstByteMarks) == FirstByte)
            g_packet_bytes_taken = 1;
        break;
    case 1:
        g_packet[1] = byte;
        g_packet_bytes_taken = 2;
        break;
    default: {
        g_packet[2] = byte;
        g_packet_bytes_taken = 0;
        i32 dx = g_packet[1] - ((g_packet[0] & 0x10) ? 256 : 0);
        i32 dy = g_packet[2] - ((g_packet[0] & 0x20) ? 256 : 0);
        g_mouse_x = clamp(g_mouse_x + dx, 0, 319);
        g_mouse_y = clamp(g_mouse_y - dy, 0, 199);
        g_mouse_buttons = g_packet[0] & 7;
        break;
    }
    }
}
}

i32 Mouse::x() { return g_mouse_x; }
i32 Mouse::y() { return g_mouse_y; }
i32 Mouse::buttons() { return g_mouse_buttons; }
u32 Mouse::events() { return g_mouse_events; }
u32 Mouse::packet_bytes_taken() { return g_packet_bytes_taken; }

void Mouse::reset(i32 x, i32 y)
{
    g_mouse_x = x;
    g_mouse_y = y;
    g_mouse_buttons = 0;
    g_packet_bytes_taken = 0;
}

void Mouse::initialize()
{
    {
        // The controller's answers would otherwise raise the keyboard's
        // interrupt, whose routine would take them first.
        InterruptGuard guard;
        discard_waiting_bytes();
        wait_until_controller_takes_input();
        Port::out8(CommandPort, 0xA8); // enable the auxiliary device
        wait_until_controller_takes_input();
        Port::out8(CommandPort, 0x20); // read the configuration byte
        wait_for_output();
        u8 configuration = static_cast<u8>(Port::in8(DataPort) | 0x02); // auxiliary interrupt on
        wait_until_controller_takes_input();
        Port::out8(CommandPort, 0x60);
        wait_until_controller_takes_input();
        Port::out8(DataPort, configuration);
        write_to_mouse(0xF6); // defaults
        wait_for_acknowledgement();
        write_to_mouse(0xF4); // streaming on
        wait_for_acknowledgement();
        // A packet half read before a repeated set-up is gone: the stream
        // starts afresh.
        g_packet_bytes_taken = 0;
        InterruptTable::set_irq_handler(12, handle_mouse);
    }
    PIC::clear_mask(2); // the cascade
    PIC::clear_mask(12);
}

void Mouse::wait_for_event(u32 seen)
{
    for (;;) {
        Idle::run_task();
        Cpu::disable_interrupts();
        if (g_mouse_events != seen)
            break;
        Idle::halt();
    }
    Cpu::enable_interrupts();
}
