#include "net/Ipv4.h"
#include "base/Endian.h"

namespace Ipv4 {

namespace {

    constexpr u16 MoreFragmentsFlag = 0x2000;
    constexpr u16 DontFragmentFlag = 0x4000;
    constexpr u16 FragmentOffsetMask = 0x1FFF;

    // Options are kinds of one byte (end of list, no operation) or a kind, a
    // length that counts both leading bytes, and the value; each has to fit.
    bool options_are_well_formed(std::span<u8 const> options)
    {
        size_t at = 0;
        while (at < options.size()) {
            u8 kind = options[at];
            if (kind == 0)
                return true;
            if (kind == 1) {
                ++at;
                continue;
            }
            if (options.size() - at < 2)
                return false;
            u8 length = options[at + 1];
            if (length < 2 || length > options.size() - at)
                return false;
            at += length;
        }
        return true;
    }

}

std::optional<Packet> parse(std::span<u8 const> bytes)
{
    if (bytes.size() < HeaderSize || (bytes[0] >> 4) != 4)
        return {};
    size_t header_size = (bytes[0] & 0x0F) * 4u;
    size_t total_length = read_be16(bytes, 2);
    if (header_size < HeaderSize || header_size > total_length || total_length > bytes.size())
        return {};
    if ((read_be16(bytes, 6) & (MoreFragmentsFlag | FragmentOffsetMask)) != 0)
        return {};
    auto header = bytes.first(header_size);
    if (checksum(header) != 0 || !options_are_well_formed(header.subspan(HeaderSize)))
        return {};
    return Packet {
        .source = Ipv4Address(read_be32(bytes, 12)),
        .destination = Ipv4Address(read_be32(bytes, 16)),
        .protocol = bytes[9],
        .payload = bytes.subspan(header_size, total_length - header_size),
    };
}

void write_header(
    std::span<u8> packet, Ipv4Address source, Ipv4Address destination, Protocol protocol, u16 identification)
{
    VERIFY(packet.size() >= HeaderSize && packet.size() <= 0xFFFF);
    auto header = packet.first(HeaderSize);
    header[0] = 0x45; // version 4, five words of header
    header[1] = 0;
    write_be16(header, 2, static_cast<u16>(packet.size()));
    write_be16(header, 4, identification);
    // Nothing is ever fragmented on the way out: a router with a smaller
    // link answers instead of splitting the datagram.
    write_be16(header, 6, DontFragmentFlag);
    header[8] = TimeToLive;
    header[9] = static_cast<u8>(protocol);
    write_be16(header, 10, 0);
    write_be32(header, 12, source.value());
    write_be32(header, 16, destination.value());
    write_be16(header, 10, checksum(header));
}

u32 add_to_checksum(u32 sum, std::span<u8 const> bytes)
{
    size_t even = bytes.size() & ~static_cast<size_t>(1);
    for (size_t i = 0; i < even; i += 2)
        sum += read_be16(bytes, i);
    if (even < bytes.size())
        sum += static_cast<u32>(bytes[even]) << 8;
    return sum;
}

u16 finish_checksum(u32 sum)
{
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<u16>(~sum);
}

}
