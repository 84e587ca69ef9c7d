#include "net/E1000.h"

#include "base/Assertions.h"
#include "hal/Interrupts.h"
#include "hal/PageFrames.h"
#include "hal/Pci.h"
#include "hal/Time.h"

#include <atomic>

namespace {

// Registers.
constexpr u32 Control = 0x0000;
constexpr u32 Status = 0x0008;
constexpr u32 EepromRead = 0x0014;
constexpr u32 InterruptCause = 0x00C0;
constexpr u32 InterruptMaskSet = 0x00D0;
constexpr u32 InterruptMaskClear = 0x00D8;
constexpr u32 ReceiveControl = 0x0100;
constexpr u32 TransmitControl = 0x0400;
constexpr u32 TransmitGap = 0x0410;
constexpr u32 ReceiveBaseLow = 0x2800;
constexpr u32 ReceiveBaseHigh = 0x2804;
constexpr u32 ReceiveLength = 0x2808;
constexpr u32 ReceiveHead = 0x2810;
constexpr u32 ReceiveTail = 0x2818;
constexpr u32 TransmitBaseLow = 0x3800;
constexpr u32 TransmitBaseHigh = 0x3804;
constexpr u32 TransmitLength = 0x3808;
constexpr u32 TransmitHead = 0x3810;
constexpr u32 TransmitTail = 0x3818;
constexpr u32 MulticastTable = 0x5200;
constexpr u32 MulticastTableWords = 128;
constexpr u32 ReceiveAddressLow = 0x5400;
constexpr u32 ReceiveAddressHigh = 0x5404;

constexpr u32 SetLinkUp = 1u << 6;
constexpr u32 AutoSpeedDetection = 1u << 5;
constexpr u32 LinkReset = 1u << 3;
constexpr u32 InvertLossOfSignal = 1u << 7;
constexpr u32 VlanMode = 1u << 30;
constexpr u32 PhyReset = 1u << 31;
constexpr u32 DeviceReset = 1u << 26;
constexpr u32 LinkUp = 1u << 1;
constexpr u32 AddressValid = 1u << 31;

constexpr u32 EepromStart = 1u << 0;

// The causes that wake the processor: the link changed, the receive ring
// ran low or over, a frame arrived.
constexpr u32 WakingCauses = 1u << 2 | 1u << 4 | 1u << 6 | 1u << 7;

constexpr u32 ReceiveEnable = 1u << 1;
constexpr u32 BroadcastAccept = 1u << 15;
constexpr u32 StripCrc = 1u << 26;
// Buffer size 2048 is the size field's 0 without the extension bit.

constexpr u32 TransmitEnable = 1u << 1;
constexpr u32 PadShortPackets = 1u << 3;
constexpr u32 CollisionThreshold = 0x10 << 4;
constexpr u32 CollisionDistance = 0x40 << 12; // full duplex
// The inter-packet gaps for copper: 10, 8 and 6 byte times.
constexpr u32 CopperGaps = 10 | 8 << 10 | 6 << 20;

// Descriptors, 16 bytes each: the buffer's address at 0, then the length,
// and for reception the status and error bytes at 12 and 13, for
// transmission the command byte at 11 and the status byte at 12.
constexpr u32 DescriptorBytes = 16;
constexpr u32 LengthField = 8;
constexpr u32 StatusField = 12;
constexpr u32 ErrorsField = 13;

constexpr u8 DescriptorDone = 1u << 0;
constexpr u8 EndOfPacket = 1u << 1;
constexpr u8 CommandEndOfPacket = 1u << 0;
constexpr u8 CommandInsertCrc = 1u << 1;
constexpr u8 CommandReportStatus = 1u << 3;
// CRC, symbol, sequence, carrier extension and data errors. The checksum
// error bits (5, 6) are left to the stack, which checks its own checksums.
constexpr u8 FrameErrors = 0x01 | 0x02 | 0x04 | 0x10 | 0x80;

constexpr u32 ReceiveRingOffset = 0x000;
constexpr u32 TransmitRingOffset = 0x800;
constexpr u32 ReceiveBuffersOffset = 0x1000;
constexpr u32 TransmitBuffersOffset = ReceiveBuffersOffset + E1000::ReceiveDescriptors * E1000::BufferBytes;
static_assert(TransmitBuffersOffset + E1000::TransmitDescriptors * E1000::BufferBytes == E1000::MemoryBytes);
static_assert(E1000::ReceiveDescriptors * DescriptorBytes <= TransmitRingOffset);

constexpr size_t HeaderBytes = 14;
// The shortest frame on the wire, without its check sequence.
constexpr u32 MinimumFrameBytes = 60;

struct Model {
    u16 device_id;
    E1000::EepromLayout layout;
};

constexpr u16 Intel = 0x8086;
Model const Models[] = {
    { 0x100E, E1000::EepromLayout::I8254x }, // 82540EM
    { 0x100F, E1000::EepromLayout::I8254x }, // 82545EM copper
    { 0x10D3, E1000::EepromLayout::I82574 }, // 82574L
};

// The card reads the descriptors and buffers on its own: what the processor
// wrote must be in memory, in order, before a tail register moves, and a
// descriptor's fields read only after its done bit. The accesses themselves
// are ordered on x86; this keeps the compiler from moving them.
void keep_order() { std::atomic_signal_fence(std::memory_order_seq_cst); }

// The card whose interrupt is wired: one at most.
E1000* g_interrupting = nullptr;

ErrorOr<u32> wait_for_clear(MemoryWindow const& registers, u32 reg, u32 mask, u32 milliseconds, char const* failure)
{
    Deadline deadline(milliseconds);
    while (true) {
        u32 value = TRY(registers.read32(reg));
        if (!(value & mask))
            return value;
        if (deadline.has_passed())
            return Error(failure);
    }
}

ErrorOr<void> reset(MemoryWindow& registers)
{
    // Masked before and after: the reset itself must not raise one, and
    // it turns nothing on.
    TRY(registers.write32(InterruptMaskClear, 0xFFFFFFFF));
    TRY(registers.write32(Control, TRY(registers.read32(Control)) | DeviceReset));
    TRY(wait_for_clear(registers, Control, DeviceReset, E1000::ResetTimeoutMs, "Network card reset timed out"));
    return registers.write32(InterruptMaskClear, 0xFFFFFFFF);
}

ErrorOr<u16> read_eeprom(MemoryWindow& registers, E1000::EepromLayout layout, u8 word)
{
    bool i82574 = layout == E1000::EepromLayout::I82574;
    u32 done = i82574 ? 1u << 1 : 1u << 4;
    u32 address = static_cast<u32>(word) << (i82574 ? 2 : 8);
    TRY(registers.write32(EepromRead, address | EepromStart));
    Deadline deadline(E1000::EepromTimeoutMs);
    while (true) {
        u32 value = TRY(registers.read32(EepromRead));
        if (value & done)
            return static_cast<u16>(value >> 16);
        if (deadline.has_passed())
            return Error("Network card EEPROM read timed out");
    }
}

// An address of one card: not all zeros, not a group address.
bool is_card_address(MacAddress const& mac)
{
    bool zero = true;
    for (u8 byte : mac)
        zero = zero && byte == 0;
    return !zero && !(mac[0] & 1);
}

// The address the card was reset with (loaded from its EEPROM by the card
// itself, or set by the firmware) when the first receive-address entry
// holds a valid one, else read from the EEPROM's first three words.
ErrorOr<MacAddress> read_mac_address(MemoryWindow& registers, E1000::EepromLayout layout)
{
    MacAddress mac;
    u32 high = TRY(registers.read32(ReceiveAddressHigh));
    if (high & AddressValid) {
        u32 low = TRY(registers.read32(ReceiveAddressLow));
        for (u32 i = 0; i < 4; ++i)
            mac[i] = static_cast<u8>(low >> (8 * i));
        mac[4] = static_cast<u8>(high);
        mac[5] = static_cast<u8>(high >> 8);
        if (is_card_address(mac))
            return mac;
    }
    for (u8 word = 0; word < 3; ++word) {
        u16 value = TRY(read_eeprom(registers, layout, word));
        mac[word * 2] = static_cast<u8>(value);
        mac[word * 2 + 1] = static_cast<u8>(value >> 8);
    }
    if (!is_card_address(mac))
        return Error("Network card has no MAC address");
    return mac;
}

}

ErrorOr<OwnPtr<E1000>> E1000::find()
{
    for (auto const& function : PCI::devices()) {
        if (function->vendor_id != Intel || function->kind() != PCIHeaderType::Normal)
            continue;
        for (auto const& model : Models) {
            if (model.device_id != function->device_id)
                continue;
            auto const& normal = static_cast<PCIDeviceNormal const&>(*function);
            auto bar = normal.bar(0);
            // The registers must be memory the processor reaches: a 64-bit
            // BAR placed above 4 GiB is not.
            if (bar.is_io || bar.base_address == 0 || (bar.type == 2 && normal.base_addresses[1] != 0))
                return Error("Network card registers out of reach");
            // The card fetches descriptors and moves frames itself.
            function->enable_memory(true);
            auto card = TRY(start(bar.base_address, model.layout));
            // 0xFF: the firmware routed the card's interrupt nowhere.
            if (function->interrupt_line < 16)
                card->interrupt_on(function->interrupt_line);
            return card;
        }
    }
    return Error("No network card");
}

ErrorOr<OwnPtr<E1000>> E1000::start(u32 registers_base, EepromLayout layout)
{
    MemoryWindow registers(registers_base, RegisterBytes);
    if (registers.length() == 0)
        return Error("Network card registers out of reach");
    // The reset stops whatever the firmware left running before any memory
    // of ours is handed out.
    TRY(reset(registers));
    MacAddress mac = TRY(read_mac_address(registers, layout));
    u32 memory = TRY(PageFrames::take(MemoryBytes));
    // From here the card owns the memory: a failure below gives it back
    // through the destructor, after a reset.
    auto card = make_own<E1000>(registers, memory, mac);
    TRY(card->start_rings());
    return card;
}

E1000::E1000(MemoryWindow registers, u32 memory, MacAddress mac)
    : m_registers(registers)
    , m_memory(memory, MemoryBytes)
    , m_mac(mac)
{
}

E1000::~E1000()
{
    if (m_interrupt_line) {
        MUST(m_registers.write32(InterruptMaskClear, 0xFFFFFFFF));
        InterruptTable::set_irq_handler(*m_interrupt_line, nullptr);
        g_interrupting = nullptr;
    }
    // A reset card forgets its rings and moves nothing more; only then is
    // the memory someone else's.
    MUST(m_registers.write32(ReceiveControl, 0));
    MUST(m_registers.write32(TransmitControl, 0));
    if (!reset(m_registers).is_error())
        PageFrames::give_back(m_memory.base());
}

ErrorOr<void> E1000::start_rings()
{
    // The link comes up by itself once the PHY has found the speed.
    u32 control = TRY(m_registers.read32(Control));
    control &= ~(LinkReset | InvertLossOfSignal | VlanMode | PhyReset);
    TRY(m_registers.write32(Control, control | SetLinkUp | AutoSpeedDetection));

    // Unicast frames to the card's address and broadcasts; no multicast
    // group yet.
    TRY(m_registers.write32(
        ReceiveAddressLow, m_mac[0] | m_mac[1] << 8 | m_mac[2] << 16 | static_cast<u32>(m_mac[3]) << 24));
    TRY(m_registers.write32(ReceiveAddressHigh, m_mac[4] | m_mac[5] << 8 | AddressValid));
    TRY(m_registers.fill32(MulticastTable, 0, MulticastTableWords));

    u32 base = m_memory.base();
    for (u32 i = 0; i < ReceiveDescriptors; ++i) {
        u32 descriptor = ReceiveRingOffset + i * DescriptorBytes;
        TRY(m_memory.write32(descriptor, base + ReceiveBuffersOffset + i * BufferBytes));
        TRY(m_memory.write32(descriptor + 4, 0));
        TRY(m_memory.write32(descriptor + 8, 0));
        TRY(m_memory.write32(descriptor + 12, 0));
    }
    // Every transmit descriptor starts out done: free for the next frame.
    for (u32 i = 0; i < TransmitDescriptors; ++i) {
        u32 descriptor = TransmitRingOffset + i * DescriptorBytes;
        TRY(m_memory.write32(descriptor, base + TransmitBuffersOffset + i * BufferBytes));
        TRY(m_memory.write32(descriptor + 4, 0));
        TRY(m_memory.write32(descriptor + 8, 0));
        TRY(m_memory.write32(descriptor + 12, DescriptorDone));
    }
    keep_order();

    TRY(m_registers.write32(ReceiveBaseLow, base + ReceiveRingOffset));
    TRY(m_registers.write32(ReceiveBaseHigh, 0));
    TRY(m_registers.write32(ReceiveLength, ReceiveDescriptors * DescriptorBytes));
    TRY(m_registers.write32(ReceiveHead, 0));
    // The card fills descriptors up to, not including, the tail: the one
    // behind it stays ours, or a full ring would look empty.
    TRY(m_registers.write32(ReceiveTail, ReceiveDescriptors - 1));
    TRY(m_registers.write32(ReceiveControl, ReceiveEnable | BroadcastAccept | StripCrc));

    TRY(m_registers.write32(TransmitBaseLow, base + TransmitRingOffset));
    TRY(m_registers.write32(TransmitBaseHigh, 0));
    TRY(m_registers.write32(TransmitLength, TransmitDescriptors * DescriptorBytes));
    TRY(m_registers.write32(TransmitHead, 0));
    TRY(m_registers.write32(TransmitTail, 0));
    TRY(m_registers.write32(TransmitGap, CopperGaps));
    TRY(m_registers.write32(
        TransmitControl, TransmitEnable | PadShortPackets | CollisionThreshold | CollisionDistance));

    // Interrupts stay masked (the reset left them so) until interrupt_on.
    return {};
}

void E1000::interrupt_on(u8 line)
{
    VERIFY(line < 16 && !g_interrupting);
    g_interrupting = this;
    m_interrupt_line = line;
    InterruptTable::set_irq_handler(line, on_interrupt);
    // Lines 8-15 reach the processor through the master's line 2.
    if (line >= 8)
        PIC::clear_mask(2);
    PIC::clear_mask(line);
    MUST(m_registers.write32(InterruptMaskSet, WakingCauses));
}

void E1000::on_interrupt(IRQContext&)
{
    // Reading the causes clears them, and with them the card's request: a
    // PCI line is level-triggered and would interrupt again at once.
    if (g_interrupting)
        (void)g_interrupting->m_registers.read32(InterruptCause);
}

// The offsets below lie inside the windows by construction: their accesses
// cannot fail.
bool E1000::link_up() const { return MUST(m_registers.read32(Status)) & LinkUp; }

bool E1000::transmit_slot_done(u32 index) const
{
    return MUST(m_memory.read8(TransmitRingOffset + index * DescriptorBytes + StatusField)) & DescriptorDone;
}

ErrorOr<void> E1000::send(std::span<u8 const> frame)
{
    if (frame.size() < HeaderBytes || frame.size() > MaxFrameSize)
        return Error("Frame size out of range");
    // The card sends what lies between its head and the tail, so the tail
    // must never catch up with the head: the descriptor after the tail
    // (the oldest one still in flight when the ring is full) has to be done
    // before the tail may move onto it.
    u32 next = (m_transmit_tail + 1) % TransmitDescriptors;
    if (!transmit_slot_done(next)) {
        Deadline deadline(TransmitWaitMs);
        while (!transmit_slot_done(next)) {
            if (deadline.has_passed())
                return Error("Network card transmit ring full");
        }
    }
    u32 length = static_cast<u32>(frame.size());
    u32 buffer = TransmitBuffersOffset + m_transmit_tail * BufferBytes;
    TRY(m_memory.copy_in(buffer, frame.data(), length));
    // Padded here rather than by the card, with zeros: the buffer still
    // holds an older frame.
    if (length < MinimumFrameBytes) {
        TRY(m_memory.fill8(buffer + length, 0, MinimumFrameBytes - length));
        length = MinimumFrameBytes;
    }
    u32 descriptor = TransmitRingOffset + m_transmit_tail * DescriptorBytes;
    TRY(m_memory.write32(descriptor, m_memory.base() + buffer));
    u8 command = CommandEndOfPacket | CommandInsertCrc | CommandReportStatus;
    TRY(m_memory.write32(descriptor + LengthField, length | static_cast<u32>(command) << 24));
    TRY(m_memory.write32(descriptor + StatusField, 0));
    keep_order();
    m_transmit_tail = next;
    return m_registers.write32(TransmitTail, m_transmit_tail);
}

size_t E1000::receive(std::span<u8> buffer)
{
    // Bad frames are stepped over; a full ring of them ends the call.
    for (u32 seen = 0; seen < ReceiveDescriptors; ++seen) {
        u32 descriptor = ReceiveRingOffset + m_receive_next * DescriptorBytes;
        u8 status = MUST(m_memory.read8(descriptor + StatusField));
        if (!(status & DescriptorDone))
            return 0;
        keep_order();
        u32 length = MUST(m_memory.read16(descriptor + LengthField));
        u8 errors = MUST(m_memory.read8(descriptor + ErrorsField));
        bool last = status & EndOfPacket;
        size_t taken = 0;
        if (m_dropping_chain || !last) {
            if (!m_dropping_chain)
                ++m_drops.chained;
        } else if ((errors & FrameErrors) || length < HeaderBytes || length > BufferBytes) {
            ++m_drops.bad;
        } else if (length > buffer.size()) {
            ++m_drops.too_long;
        } else {
            MUST(m_memory.copy_out(ReceiveBuffersOffset + m_receive_next * BufferBytes, buffer.data(), length));
            taken = length;
        }
        m_dropping_chain = !last;

        // Back to the card: its status cleared, it becomes the one the card
        // must not fill, and the one before it the card's again.
        MUST(m_memory.write32(descriptor + StatusField, 0));
        keep_order();
        MUST(m_registers.write32(ReceiveTail, m_receive_next));
        m_receive_next = (m_receive_next + 1) % ReceiveDescriptors;
        if (taken)
            return taken;
    }
    return 0;
}
