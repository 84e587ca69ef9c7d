#pragma once

#include "base/Vector.h"
#include "net/NetworkCard.h"

#include <optional>

// Ethernet II framing: six bytes of destination, six of source, the type of
// what follows, then the payload.
namespace Ethernet {

constexpr size_t HeaderSize = 14;
// The largest payload, and so the largest IP datagram, a frame carries.
constexpr size_t Mtu = NetworkCard::MaxFrameSize - HeaderSize;
constexpr MacAddress BroadcastMac { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF };

enum class FrameType : u16 {
    Ipv4 = 0x0800,
    Arp = 0x0806,
};

struct Frame {
    MacAddress destination;
    MacAddress source;
    u16 type;
    std::span<u8 const> payload;
};

// Nothing when the bytes are too short for the header.
std::optional<Frame> parse(std::span<u8 const> bytes);
// A frame with its header written and `payload_size` zero bytes after it.
ByteBuffer make_frame(MacAddress destination, MacAddress source, FrameType type, size_t payload_size);
inline std::span<u8> payload_of(ByteBuffer& frame) { return std::span<u8>(frame).subspan(HeaderSize); }

// "52:54:00:12:34:56".
String mac_to_string(MacAddress mac);

}
