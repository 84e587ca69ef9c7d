#pragma once

// A simulated Intel 8254x (or, by its device identifier, 82574L) network
// card: a function on the simulated PCI bus whose BAR 0 points at its
// registers in simulated physical memory. Like the AHCI controller it runs
// whenever the deadlines read the timer, as a real card runs beside the
// processor: each step finishes a reset, answers an EEPROM read, follows the
// link and sends what the transmit ring holds between head and tail, reading
// descriptors and buffers from simulated memory as DMA would. Received
// frames come from the test (deliver), through the address filter, into the
// buffers of the receive ring. It moves no data while bus mastering is off,
// and does nothing at all while memory space is.

#include "tests/sim/PciConfigSpace.h"

#include <array>
#include <vector>

namespace Sim {

class E1000Card {
public:
    static constexpr u32 Base = 0xFEBC0000;
    static constexpr u32 RegisterBytes = 0x20000;
    static constexpr u8 Slot = 3;

    // Registers a test looks at.
    static constexpr u32 Control = 0x0000;
    static constexpr u32 Status = 0x0008;
    static constexpr u32 InterruptMask = 0x00D0;
    static constexpr u32 ReceiveControl = 0x0100;
    static constexpr u32 TransmitControl = 0x0400;
    static constexpr u32 TransmitGap = 0x0410;
    static constexpr u32 ReceiveBaseLow = 0x2800;
    static constexpr u32 ReceiveLength = 0x2808;
    static constexpr u32 ReceiveHead = 0x2810;
    static constexpr u32 ReceiveTail = 0x2818;
    static constexpr u32 TransmitBaseLow = 0x3800;
    static constexpr u32 TransmitLength = 0x3808;
    static constexpr u32 TransmitHead = 0x3810;
    static constexpr u32 TransmitTail = 0x3818;
    static constexpr u32 MulticastTable = 0x5200;
    static constexpr u32 ReceiveAddressLow = 0x5400;
    static constexpr u32 ReceiveAddressHigh = 0x5404;

    struct SentFrame {
        std::vector<u8> bytes;
        u8 command; // of the frame's last descriptor
    };

    // Plants the card at bus 0, slot 3 of `pci` and powers it on: the
    // registers as after a reset, the multicast table full of leftovers.
    explicit E1000Card(PciConfigSpace& pci, u16 device_id = 0x100E);
    ~E1000Card();
    E1000Card(E1000Card const&) = delete;
    E1000Card& operator=(E1000Card const&) = delete;

    // The address in the EEPROM's first three words.
    std::array<u8, 6> mac { 0x52, 0x54, 0x00, 0x12, 0x34, 0x56 };
    // Whether a reset loads the address into the first receive-address
    // entry; without, only the EEPROM has it.
    bool mac_loaded_at_reset { true };
    bool link { true };
    // The transmitter takes nothing from the ring (a hung card).
    bool transmit_stuck { false };
    // A reset that never finishes.
    bool reset_stuck { false };

    PciConfigSpace::Function& function() { return m_function; }
    u32 reg(u32 offset) const;
    void set_reg(u32 offset, u32 value);

    // One step of the card.
    void run();
    // Offers a frame (without its check sequence) to the card, as if it
    // arrived on the wire: false when the card does not take it (receiver
    // off, not addressed to it, too long) or has no free descriptor for it,
    // which it counts as missed. `errors` go into the error byte of the
    // frame's last descriptor.
    bool deliver(std::vector<u8> const& frame, u8 errors = 0);
    // Everything sent so far, after one more step.
    std::vector<SentFrame> const& sent();
    u32 missed() const { return m_missed; }
    u32 resets() const { return m_resets; }

private:
    void reset();
    void transmit();
    bool accepts(std::vector<u8> const& frame) const;
    u32 receive_buffer_bytes() const;
    bool masters_bus() const { return m_function.get16(0x04) & 0x04; }

    PciConfigSpace::Function& m_function;
    bool m_i82574;
    u8* m_registers;
    std::vector<u8> m_partial; // a frame whose last descriptor has not come yet
    std::vector<SentFrame> m_sent;
    u32 m_missed { 0 };
    u32 m_resets { 0 };
};

}
