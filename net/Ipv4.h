#pragma once

#include "net/Ipv4Address.h"

#include <span>

// The IPv4 header: read with every field checked, written without options
// and never fragmented.
namespace Ipv4 {

constexpr size_t HeaderSize = 20;
constexpr u8 TimeToLive = 64;

enum class Protocol : u8 {
    Icmp = 1,
    Udp = 17,
};

struct Packet {
    Ipv4Address source;
    Ipv4Address destination;
    u8 protocol;
    // Exactly the datagram's payload: link padding after the total length
    // is cut off.
    std::span<u8 const> payload;
};

// Nothing for anything but a whole, unfragmented IPv4 datagram with a right
// header checksum and well-formed options.
std::optional<Packet> parse(std::span<u8 const> bytes);
// Writes a header without options into the first HeaderSize bytes of
// `packet`, whose size is the datagram's total length.
void write_header(
    std::span<u8> packet, Ipv4Address source, Ipv4Address destination, Protocol protocol, u16 identification);

// The Internet checksum: the ones' complement of the ones' complement sum of
// the bytes as big-endian 16-bit words, an odd last byte padded with zero.
// Data that carries its own right checksum sums to 0. Pieces that are summed
// one after another (a pseudo-header, then a datagram) all but the last have
// an even length.
u32 add_to_checksum(u32 sum, std::span<u8 const> bytes);
u16 finish_checksum(u32 sum);
inline u16 checksum(std::span<u8 const> bytes) { return finish_checksum(add_to_checksum(0, bytes)); }

}
