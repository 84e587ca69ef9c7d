#include "net/Udp.h"
#include "base/Endian.h"

#include <algorithm>

namespace Udp {

namespace {

    u16 checksum(Ipv4Address source, Ipv4Address destination, std::span<u8 const> segment)
    {
        std::array<u8, 12> pseudo_header {};
        write_be32(pseudo_header, 0, source.value());
        write_be32(pseudo_header, 4, destination.value());
        pseudo_header[9] = static_cast<u8>(Ipv4::Protocol::Udp);
        write_be16(pseudo_header, 10, static_cast<u16>(segment.size()));
        return Ipv4::finish_checksum(Ipv4::add_to_checksum(Ipv4::add_to_checksum(0, pseudo_header), segment));
    }

}

std::optional<Datagram> parse(Ipv4::Packet const& packet)
{
    auto bytes = packet.payload;
    if (bytes.size() < HeaderSize)
        return {};
    size_t length = read_be16(bytes, 4);
    if (length < HeaderSize || length > bytes.size())
        return {};
    auto segment = bytes.first(length);
    // A sender may leave the checksum out (0); one that gave it must match.
    if (read_be16(segment, 6) != 0 && checksum(packet.source, packet.destination, segment) != 0)
        return {};
    return Datagram {
        .source_port = read_be16(segment, 0),
        .destination_port = read_be16(segment, 2),
        .data = segment.subspan(HeaderSize),
    };
}

void write(std::span<u8> segment, Ipv4Address source, Ipv4Address destination, Datagram const& datagram)
{
    VERIFY(segment.size() == HeaderSize + datagram.data.size() && segment.size() <= 0xFFFF);
    write_be16(segment, 0, datagram.source_port);
    write_be16(segment, 2, datagram.destination_port);
    write_be16(segment, 4, static_cast<u16>(segment.size()));
    write_be16(segment, 6, 0);
    std::copy(datagram.data.begin(), datagram.data.end(), segment.begin() + HeaderSize);
    // A sum of 0 is sent as its other form, all ones: 0 means "no checksum".
    u16 sum = checksum(source, destination, segment);
    write_be16(segment, 6, sum == 0 ? 0xFFFF : sum);
}

}
