#pragma once

// Helpers for the network stack's tests: frames built and read byte by byte
// here, apart from the stack's own code, so a field the stack puts in the
// wrong place or a checksum it gets wrong shows as a mismatch; and a stack
// on a scripted card with a clock the test moves.

#include "base/StdString.h"
#include "net/NetworkStack.h"
#include "tests/sim/ScriptedNetworkCard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Bytes = std::vector<u8>;

constexpr MacAddress OurMac { 0x52, 0x54, 0x00, 0x12, 0x34, 0x56 };
constexpr MacAddress PeerMac { 0x02, 0x00, 0x00, 0x00, 0x00, 0x09 };
constexpr MacAddress GatewayMac { 0x02, 0x00, 0x00, 0x00, 0x00, 0x01 };
constexpr MacAddress Broadcast { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF };
// The machine is 192.0.2.5/25: 192.0.2.200 is off its subnet, behind the
// gateway.
constexpr Ipv4Address OurAddress { 192, 0, 2, 5 };
constexpr Ipv4Address PeerAddress { 192, 0, 2, 9 };
constexpr Ipv4Address GatewayAddress { 192, 0, 2, 1 };
constexpr Ipv4Address FarAddress { 192, 0, 2, 200 };
constexpr u8 OurPrefix = 25;

constexpr u16 TypeIpv4 = 0x0800;
constexpr u16 TypeArp = 0x0806;
constexpr u8 ProtocolIcmp = 1;
constexpr u8 ProtocolUdp = 17;

inline void put16(Bytes& bytes, u32 value)
{
    bytes.push_back(static_cast<u8>(value >> 8));
    bytes.push_back(static_cast<u8>(value));
}
inline void put32(Bytes& bytes, u32 value)
{
    put16(bytes, value >> 16);
    put16(bytes, value & 0xFFFF);
}
inline void put(Bytes& bytes, Bytes const& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
inline void put(Bytes& bytes, MacAddress const& mac) { bytes.insert(bytes.end(), mac.begin(), mac.end()); }
inline u16 get16(Bytes const& bytes, size_t at) { return static_cast<u16>(bytes.at(at) << 8 | bytes.at(at + 1)); }
inline u32 get32(Bytes const& bytes, size_t at)
{
    return static_cast<u32>(get16(bytes, at)) << 16 | get16(bytes, at + 2);
}
inline MacAddress get_mac(Bytes const& bytes, size_t at)
{
    MacAddress mac;
    for (size_t i = 0; i < 6; ++i)
        mac[i] = bytes.at(at + i);
    return mac;
}
inline Bytes slice(Bytes const& bytes, size_t at, size_t length)
{
    return Bytes(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + length));
}
inline Bytes bytes_of(std::string const& text) { return Bytes(text.begin(), text.end()); }

// The Internet checksum computed another way than the stack does: 32-bit
// words summed in 64 bits and folded at the end, which gives the same ones'
// complement sum because 2^16 = 1 modulo 2^16 - 1.
inline u16 internet_checksum(Bytes const& bytes)
{
    u64 sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 4) {
        u32 word = 0;
        for (size_t j = 0; j < 4; ++j)
            word = word << 8 | (i + j < bytes.size() ? bytes[i + j] : 0);
        sum += word;
    }
    while (sum > 0xFFFF)
        sum = (sum >> 16) + (sum & 0xFFFF);
    return static_cast<u16>(~sum);
}

inline Bytes ethernet_frame(MacAddress destination, MacAddress source, u16 type, Bytes const& payload)
{
    Bytes frame;
    put(frame, destination);
    put(frame, source);
    put16(frame, type);
    put(frame, payload);
    return frame;
}

struct Ipv4Fields {
    u16 flags_and_offset { 0 };
    Bytes options {};
};

inline Bytes ipv4_packet(
    Ipv4Address source, Ipv4Address destination, u8 protocol, Bytes const& payload, Ipv4Fields const& fields = {})
{
    Bytes packet;
    packet.push_back(static_cast<u8>(0x40 | (5 + fields.options.size() / 4)));
    packet.push_back(0);
    put16(packet, static_cast<u16>(20 + fields.options.size() + payload.size()));
    put16(packet, 0x1234);
    put16(packet, fields.flags_and_offset);
    packet.push_back(64);
    packet.push_back(protocol);
    put16(packet, 0);
    put32(packet, source.value());
    put32(packet, destination.value());
    put(packet, fields.options);
    u16 sum = internet_checksum(packet);
    packet[10] = static_cast<u8>(sum >> 8);
    packet[11] = static_cast<u8>(sum);
    put(packet, payload);
    return packet;
}

inline u16 udp_checksum(Ipv4Address source, Ipv4Address destination, Bytes const& segment)
{
    Bytes summed;
    put32(summed, source.value());
    put32(summed, destination.value());
    summed.push_back(0);
    summed.push_back(ProtocolUdp);
    put16(summed, static_cast<u16>(segment.size()));
    put(summed, segment);
    return internet_checksum(summed);
}

inline Bytes udp_segment(Ipv4Address source, Ipv4Address destination, u16 source_port, u16 destination_port,
    Bytes const& data, bool with_checksum = true)
{
    Bytes segment;
    put16(segment, source_port);
    put16(segment, destination_port);
    put16(segment, static_cast<u16>(8 + data.size()));
    put16(segment, 0);
    put(segment, data);
    if (with_checksum) {
        u16 sum = udp_checksum(source, destination, segment);
        segment[6] = static_cast<u8>(sum >> 8);
        segment[7] = static_cast<u8>(sum);
    }
    return segment;
}

inline Bytes icmp_echo(u8 type, u16 identifier, u16 sequence, Bytes const& data)
{
    Bytes message { type, 0, 0, 0 };
    put16(message, identifier);
    put16(message, sequence);
    put(message, data);
    u16 sum = internet_checksum(message);
    message[2] = static_cast<u8>(sum >> 8);
    message[3] = static_cast<u8>(sum);
    return message;
}

inline Bytes arp_packet(
    u16 operation, MacAddress sender_mac, Ipv4Address sender, MacAddress target_mac, Ipv4Address target)
{
    Bytes packet;
    put16(packet, 1);
    put16(packet, TypeIpv4);
    packet.push_back(6);
    packet.push_back(4);
    put16(packet, operation);
    put(packet, sender_mac);
    put32(packet, sender.value());
    put(packet, target_mac);
    put32(packet, target.value());
    return packet;
}

// Frames from the peer (or another sender) to this machine.
inline Bytes ipv4_frame_to_us(Bytes const& packet, MacAddress from = PeerMac)
{
    return ethernet_frame(OurMac, from, TypeIpv4, packet);
}
inline Bytes udp_frame_to_us(u16 source_port, u16 destination_port, Bytes const& data, bool with_checksum = true)
{
    return ipv4_frame_to_us(ipv4_packet(PeerAddress, OurAddress, ProtocolUdp,
        udp_segment(PeerAddress, OurAddress, source_port, destination_port, data, with_checksum)));
}
inline Bytes arp_request_to_us(MacAddress from_mac, Ipv4Address from)
{
    return ethernet_frame(Broadcast, from_mac, TypeArp, arp_packet(1, from_mac, from, {}, OurAddress));
}
inline Bytes arp_reply_to_us(MacAddress from_mac, Ipv4Address from)
{
    return ethernet_frame(OurMac, from_mac, TypeArp, arp_packet(2, from_mac, from, OurMac, OurAddress));
}

// A frame the stack sent, taken apart at the offsets the wire formats fix.
struct SentIpv4 {
    explicit SentIpv4(Bytes const& frame)
        : frame(frame)
    {
        header_size = (frame.at(14) & 0x0F) * 4u;
        size_t total = get16(frame, 16);
        header = slice(frame, 14, header_size);
        payload = slice(frame, 14 + header_size, total - header_size);
    }
    MacAddress destination_mac() const { return get_mac(frame, 0); }
    u16 type() const { return get16(frame, 12); }
    u8 protocol() const { return header.at(9); }
    u8 ttl() const { return header.at(8); }
    Ipv4Address source() const { return Ipv4Address(get32(header, 12)); }
    Ipv4Address destination() const { return Ipv4Address(get32(header, 16)); }
    bool header_checksum_right() const { return internet_checksum(header) == 0; }
    // UDP: ports at 0 and 2, data after 8 bytes.
    Bytes udp_data() const { return slice(payload, 8, payload.size() - 8); }
    bool udp_checksum_right() const { return udp_checksum(source(), destination(), payload) == 0; }

    Bytes frame;
    size_t header_size;
    Bytes header;
    Bytes payload;
};

// A configured stack on a scripted card, and a clock the test moves: the
// time starts away from zero, so a stamp of zero cannot pass for "now".
struct NetworkFixture : ::testing::Test {
    NetworkFixture() { stack.configure(Ipv4Subnet { OurAddress, OurPrefix }, GatewayAddress); }

    // Lets `ms` pass, delivers `frames` and polls once; what the stack sent
    // in that poll.
    std::vector<Bytes> exchange(std::vector<Bytes> const& frames = {}, u32 ms = 0)
    {
        now += ms;
        card.sent.clear();
        for (auto const& frame : frames)
            card.incoming.push_back(frame);
        stack.poll(now);
        return card.sent;
    }
    // Has the stack learn a machine's MAC the way it does on the wire: the
    // machine asks for ours.
    void introduce(MacAddress mac, Ipv4Address address)
    {
        auto sent = exchange({ arp_request_to_us(mac, address) });
        ASSERT_EQ(sent.size(), 1u);
        card.sent.clear();
    }

    ScriptedNetworkCard card { OurMac };
    NetworkStack stack { &card };
    u32 now { 5000 };
};

// The message of a failed result, or "" when it succeeded.
template<typename T>
std::string error_text(ErrorOr<T> const& result)
{
    return result.is_error() ? ascii(result.error().message()) : std::string();
}
