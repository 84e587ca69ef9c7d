#pragma once

// A simulated 8042 keyboard controller with a PS/2 mouse on its auxiliary
// port: it answers the configuration commands, acknowledges mouse commands,
// and lets a test queue mouse bytes and deliver them through IRQ 12, one
// byte per interrupt, as the controller does. With `answer_polls` set it is
// as slow as real hardware: after each byte written to it, its input buffer
// stays full (and the answer absent) for that many status reads, and a byte
// written meanwhile is lost.

#include "tests/sim/Sim.h"

#include <deque>
#include <initializer_list>
#include <vector>

class PS2Mouse : public Sim::PortDevice {
public:
    PS2Mouse();

    u32 read(u16 port, int width) override;
    void write(u16 port, u32 value, int width) override;

    // Puts a byte in the output buffer without an interrupt, as one whose
    // interrupt came before anyone listened: from the keyboard or, with
    // `aux`, from the mouse.
    void put(u8 value, bool aux);
    // Queues a packet's bytes; deliver() raises IRQ 12 once per byte.
    void queue(std::initializer_list<u8> bytes);
    void deliver();
    // One byte per halt of the code under test; Sim::Stopped when all are
    // delivered.
    void deliver_on_halt();
    // Packets: movement (positive y is up, as the mouse reports it) and
    // buttons.
    void packet(int dx, int dy, u8 buttons = 0);

    u8 configuration { 0x45 };
    u32 answer_polls { 0 };
    std::vector<u8> commands;    // bytes written to port 0x64
    std::vector<u8> mouse_bytes; // bytes sent on to the mouse

private:
    struct Byte {
        u8 value;
        bool aux;
    };
    void answer(u8 value, bool aux);

    std::deque<Byte> m_output;
    std::deque<Byte> m_answers; // not in the output buffer yet
    u32 m_busy { 0 };
    std::deque<u8> m_pending;
    u8 m_last_command { 0 };
};
