#pragma once

#include "net/Ethernet.h"
#include "net/Ipv4.h"

// The UDP header: ports, length and a checksum over a pseudo-header of the
// IP addresses as well as the datagram, so a datagram delivered to the wrong
// machine fails it too.
namespace Udp {

constexpr size_t HeaderSize = 8;
// The most data one unfragmented datagram carries.
constexpr size_t MaxDataSize = Ethernet::Mtu - Ipv4::HeaderSize - HeaderSize;

struct Datagram {
    u16 source_port;
    u16 destination_port;
    std::span<u8 const> data;
};

// Nothing when the length field does not fit the packet or a checksum is
// given (not 0) and wrong.
std::optional<Datagram> parse(Ipv4::Packet const& packet);
// Fills `segment` (HeaderSize bytes and the data) with the header, its
// checksum always computed, and the data.
void write(std::span<u8> segment, Ipv4Address source, Ipv4Address destination, Datagram const& datagram);

}
