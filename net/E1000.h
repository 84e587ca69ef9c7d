#pragma once

#include "arch/InterruptEntry.h"
#include "base/OwnPtr.h"
#include "hal/MemoryWindow.h"
#include "net/NetworkCard.h"

#include <optional>

// An Intel 8254x gigabit Ethernet controller (QEMU's `-device e1000`, the
// 82540EM, and its 82545EM sibling) or the 82574L (`-device e1000e`), which
// keeps the same registers and legacy descriptors. One receive and one
// transmit ring of descriptors, each pointing at a buffer of its own, live
// in page frames the card owns, so the card only ever sees physical
// addresses of memory that stays put while it may write there. The card is
// polled; its interrupt, when asked for, only wakes the processor.
class E1000 final : public NetworkCard {
public:
    static constexpr u32 RegisterBytes = 0x20000;
    static constexpr u32 ReceiveDescriptors = 32;
    static constexpr u32 TransmitDescriptors = 32;
    static constexpr u32 BufferBytes = 2048;
    // One page for both rings, then a buffer for every descriptor.
    static constexpr u32 MemoryBytes = 4096 + (ReceiveDescriptors + TransmitDescriptors) * BufferBytes;
    // A reset and an EEPROM read take microseconds. A sender waits
    // this long for the card to free a descriptor before it gives up: at
    // 100 Mbit/s a full ring of the longest frames leaves in about 4 ms.
    static constexpr u32 ResetTimeoutMs = 100;
    static constexpr u32 EepromTimeoutMs = 10;
    static constexpr u32 TransmitWaitMs = 10;

    // Where the EEPROM read register keeps its done flag and word address:
    // bits 4 and 15-8 on the 8254x, bits 1 and 15-2 on the 82574L.
    enum class EepromLayout {
        I8254x,
        I82574,
    };

    // Frames received and thrown away, by why.
    struct ReceiveDrops {
        u32 bad { 0 };      // the card flagged an error, or shorter than a header
        u32 chained { 0 };  // spread over several descriptors
        u32 too_long { 0 }; // longer than the caller's buffer
    };

    // Starts the first supported card on the PCI bus, with memory space and
    // bus mastering switched on: "No network card" when there is none.
    static ErrorOr<OwnPtr<E1000>> find();
    // Resets the card whose registers start at physical address
    // `registers_base`, reads its address and starts both rings.
    static ErrorOr<OwnPtr<E1000>> start(u32 registers_base, EepromLayout layout);

    // `memory` is a run of page frames of MemoryBytes that the card owns
    // from now on (start() takes it).
    E1000(MemoryWindow registers, u32 memory, MacAddress mac);
    // Stops and resets the card, then gives the memory back; a card that
    // does not come out of its reset keeps it, since it may still write.
    ~E1000() override;

    MacAddress mac_address() const override { return m_mac; }
    bool link_up() const override;
    ErrorOr<void> send(std::span<u8 const> frame) override;
    size_t receive(std::span<u8> buffer) override;

    ReceiveDrops const& receive_drops() const { return m_drops; }

    // Lets the card interrupt on PCI line `line` (0-15) when frames arrive
    // or the link changes. The interrupt only acknowledges the card and so
    // ends the processor's halt: the waiting loops poll (hal/Idle.h).
    void interrupt_on(u8 line);

private:
    static void on_interrupt(IRQContext& context);

    ErrorOr<void> start_rings();
    bool transmit_slot_done(u32 index) const;

    MemoryWindow m_registers;
    // The two descriptor rings, then the receive buffers, then the transmit
    // buffers.
    MemoryWindow m_memory;
    MacAddress m_mac;
    u32 m_receive_next { 0 };
    u32 m_transmit_tail { 0 };
    // The descriptors of a chained frame are thrown away up to its end.
    bool m_dropping_chain { false };
    ReceiveDrops m_drops;
    // The line interrupt_on installed a handler on, if any.
    std::optional<u8> m_interrupt_line;
};
