#include "net/Ethernet.h"
#include "base/Endian.h"

#include <algorithm>

namespace Ethernet {

std::optional<Frame> parse(std::span<u8 const> bytes)
{
    if (bytes.size() < HeaderSize)
        return {};
    Frame frame {};
    std::copy_n(bytes.begin(), 6, frame.destination.begin());
    std::copy_n(bytes.begin() + 6, 6, frame.source.begin());
    frame.type = read_be16(bytes, 12);
    frame.payload = bytes.subspan(HeaderSize);
    return frame;
}

ByteBuffer make_frame(MacAddress destination, MacAddress source, FrameType type, size_t payload_size)
{
    VERIFY(payload_size <= Mtu);
    ByteBuffer frame;
    frame.resize(HeaderSize + payload_size);
    std::copy(destination.begin(), destination.end(), frame.begin());
    std::copy(source.begin(), source.end(), frame.begin() + 6);
    write_be16(frame, 12, static_cast<u16>(type));
    return frame;
}

String mac_to_string(MacAddress mac)
{
    String text;
    for (size_t i = 0; i < mac.size(); ++i) {
        if (i > 0)
            text += u':';
        text += String::hex(mac[i], 2).to_lower();
    }
    return text;
}

}
