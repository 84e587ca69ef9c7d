#include "tests/sim/E1000Card.h"

#include "arch/PhysicalMemory.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Sim {

namespace {

    constexpr u32 EepromRead = 0x0014;
    constexpr u32 InterruptMaskClear = 0x00D8;
    constexpr u32 ReceiveBaseHigh = 0x2804;
    constexpr u32 TransmitBaseHigh = 0x3804;
    constexpr u32 MulticastTableBytes = 128 * 4;

    constexpr u32 LinkReset = 1u << 3;
    constexpr u32 SetLinkUp = 1u << 6;
    constexpr u32 DeviceReset = 1u << 26;
    constexpr u32 FullDuplex = 1u << 0;
    constexpr u32 LinkUp = 1u << 1;
    constexpr u32 Speed1000 = 2u << 6;
    constexpr u32 AddressValid = 1u << 31;
    constexpr u32 Enable = 1u << 1;
    constexpr u32 UnicastPromiscuous = 1u << 3;
    constexpr u32 MulticastPromiscuous = 1u << 4;
    constexpr u32 LongPackets = 1u << 5;
    constexpr u32 BroadcastAccept = 1u << 15;
    constexpr u32 SizeExtension = 1u << 25;
    constexpr u32 StripCrc = 1u << 26;

    constexpr u8 DescriptorDone = 1u << 0;
    constexpr u8 EndOfPacket = 1u << 1;
    constexpr u8 ReportStatus = 1u << 3;

    // The longest frame without its check sequence that a card without
    // long-packet reception takes: 1514 bytes and a VLAN tag.
    constexpr size_t LongestFrame = 1518;

    // Where DMA lands: a driver that points the card outside the memory
    // the test machine has is broken, and the test stops there.
    u8* dma(u32 address, u32 high, size_t length)
    {
        u8* bytes = high ? nullptr : PhysicalMemory::map(address, static_cast<u32>(length));
        if (!bytes) {
            std::fprintf(
                stderr, "simulated E1000: DMA to unbacked memory %08x:%08x (%zu bytes)\n", high, address, length);
            std::abort();
        }
        return bytes;
    }

    u32 load32(u8 const* bytes)
    {
        u32 value;
        std::memcpy(&value, bytes, 4);
        return value;
    }

    u32 crc32(std::vector<u8> const& bytes)
    {
        u32 crc = 0xFFFFFFFF;
        for (u8 byte : bytes) {
            crc ^= byte;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (crc & 1 ? 0xEDB88320 : 0);
        }
        return ~crc;
    }

}

E1000Card::E1000Card(PciConfigSpace& pci, u16 device_id)
    : m_function(pci.add(0, Slot, 0, 0x8086, device_id, 0x02, 0x00))
    , m_i82574(device_id == 0x10D3)
    , m_registers(map_memory(Base, RegisterBytes))
{
    m_function.set32(0x10, Base);
    m_function.set32(0x18, 0xC001); // an I/O window to the same registers
    m_function.set8(0x3C, 11);
    m_function.set8(0x3D, 1);
    // The multicast table is not touched by a reset: it holds whatever the
    // card powered on with or the firmware left.
    std::memset(m_registers + MulticastTable, 0xFF, MulticastTableBytes);
    reset();
    m_resets = 0;
    on_timer_read([this] { run(); });
}

E1000Card::~E1000Card() { on_timer_read(nullptr); }

u32 E1000Card::reg(u32 offset) const { return load32(m_registers + offset); }
void E1000Card::set_reg(u32 offset, u32 value) { std::memcpy(m_registers + offset, &value, 4); }

void E1000Card::reset()
{
    std::vector<u8> table(m_registers + MulticastTable, m_registers + MulticastTable + MulticastTableBytes);
    std::memset(m_registers, 0, RegisterBytes);
    std::memcpy(m_registers + MulticastTable, table.data(), table.size());
    set_reg(Control, FullDuplex | LinkReset);
    if (mac_loaded_at_reset) {
        set_reg(ReceiveAddressLow, mac[0] | mac[1] << 8 | mac[2] << 16 | static_cast<u32>(mac[3]) << 24);
        set_reg(ReceiveAddressHigh, mac[4] | mac[5] << 8 | AddressValid);
    }
    m_partial.clear();
    ++m_resets;
}

void E1000Card::run()
{
    if (!(m_function.get16(0x04) & 0x02))
        return; // memory space off: the registers are not decoded
    if (reg(Control) & DeviceReset) {
        if (reset_stuck)
            return;
        reset();
    }
    if (u32 clear = reg(InterruptMaskClear)) {
        set_reg(InterruptMask, reg(InterruptMask) & ~clear);
        set_reg(InterruptMaskClear, 0);
    }

    u32 eeprom = reg(EepromRead);
    u32 done = m_i82574 ? 1u << 1 : 1u << 4;
    if ((eeprom & 1) && !(eeprom & done)) {
        u32 word = m_i82574 ? (eeprom >> 2) & 0x3FFF : (eeprom >> 8) & 0xFF;
        u16 value = word < 3 ? static_cast<u16>(mac[word * 2] | mac[word * 2 + 1] << 8) : 0xFFFF;
        set_reg(EepromRead, static_cast<u32>(value) << 16 | (eeprom & 0xFFFF) | done);
    }

    bool up = link && (reg(Control) & SetLinkUp) && !(reg(Control) & LinkReset);
    set_reg(Status, FullDuplex | (up ? LinkUp | Speed1000 : 0));
    transmit();
}

void E1000Card::transmit()
{
    u32 count = reg(TransmitLength) / 16;
    if (!(reg(TransmitControl) & Enable) || transmit_stuck || !masters_bus() || count == 0
        || reg(TransmitTail) >= count)
        return;
    while (reg(TransmitHead) != reg(TransmitTail)) {
        u32 head = reg(TransmitHead);
        u8* descriptor = dma(reg(TransmitBaseLow) + head * 16, reg(TransmitBaseHigh), 16);
        u16 length = static_cast<u16>(descriptor[8] | descriptor[9] << 8);
        u8 command = descriptor[11];
        u8 const* data = dma(load32(descriptor), load32(descriptor + 4), length);
        m_partial.insert(m_partial.end(), data, data + length);
        if (command & 1) { // end of packet
            m_sent.push_back({ m_partial, command });
            m_partial.clear();
        }
        if (command & ReportStatus)
            descriptor[12] |= DescriptorDone;
        set_reg(TransmitHead, (head + 1) % count);
    }
}

std::vector<E1000Card::SentFrame> const& E1000Card::sent()
{
    run();
    return m_sent;
}

u32 E1000Card::receive_buffer_bytes() const
{
    u32 size = (reg(ReceiveControl) >> 16) & 3;
    if (reg(ReceiveControl) & SizeExtension)
        return size ? 32768u >> size : 2048;
    return 2048u >> size;
}

bool E1000Card::accepts(std::vector<u8> const& frame) const
{
    u32 control = reg(ReceiveControl);
    u8 const* to = frame.data();
    bool broadcast = std::all_of(to, to + 6, [](u8 byte) { return byte == 0xFF; });
    if (broadcast)
        return control & BroadcastAccept;
    if (to[0] & 1) {
        // Multicast: bits 47-36 of the address pick a bit of the table.
        u32 hash = ((to[4] >> 4) | to[5] << 4) & 0xFFF;
        return (control & MulticastPromiscuous) || (reg(MulticastTable + (hash >> 5) * 4) & (1u << (hash & 31)));
    }
    if (control & UnicastPromiscuous)
        return true;
    for (u32 entry = 0; entry < 16; ++entry) {
        u32 low = reg(ReceiveAddressLow + entry * 8);
        u32 high = reg(ReceiveAddressHigh + entry * 8);
        u8 address[6] = { static_cast<u8>(low), static_cast<u8>(low >> 8), static_cast<u8>(low >> 16),
            static_cast<u8>(low >> 24), static_cast<u8>(high), static_cast<u8>(high >> 8) };
        if ((high & AddressValid) && std::memcmp(address, to, 6) == 0)
            return true;
    }
    return false;
}

bool E1000Card::deliver(std::vector<u8> const& frame, u8 errors)
{
    run();
    u32 control = reg(ReceiveControl);
    if (!(control & Enable) || !masters_bus() || frame.size() < 14 || !accepts(frame)
        || (frame.size() > LongestFrame && !(control & LongPackets)))
        return false;
    std::vector<u8> data = frame;
    if (!(control & StripCrc)) {
        u32 crc = crc32(frame);
        for (int i = 0; i < 4; ++i)
            data.push_back(static_cast<u8>(crc >> (8 * i)));
    }
    u32 count = reg(ReceiveLength) / 16;
    u32 buffer_bytes = receive_buffer_bytes();
    u32 needed = static_cast<u32>((data.size() + buffer_bytes - 1) / buffer_bytes);
    // The card fills descriptors from the head up to, not including, the
    // tail.
    u32 head = reg(ReceiveHead);
    u32 available = count ? (reg(ReceiveTail) + count - head) % count : 0;
    if (needed > available) {
        ++m_missed;
        return false;
    }
    for (u32 piece = 0; piece < needed; ++piece) {
        u8* descriptor = dma(reg(ReceiveBaseLow) + head * 16, reg(ReceiveBaseHigh), 16);
        size_t offset = static_cast<size_t>(piece) * buffer_bytes;
        u32 length = static_cast<u32>(std::min<size_t>(buffer_bytes, data.size() - offset));
        std::memcpy(dma(load32(descriptor), load32(descriptor + 4), length), data.data() + offset, length);
        bool last = piece + 1 == needed;
        descriptor[8] = static_cast<u8>(length);
        descriptor[9] = static_cast<u8>(length >> 8);
        descriptor[13] = last ? errors : 0;
        descriptor[12] = DescriptorDone | (last ? EndOfPacket : 0);
        head = (head + 1) % count;
        set_reg(ReceiveHead, head);
    }
    return true;
}

}
