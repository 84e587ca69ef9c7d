#include "net/Icmp.h"
#include "base/Endian.h"
#include "net/Ipv4.h"

#include <algorithm>

namespace Icmp {

std::optional<Echo> parse_echo(std::span<u8 const> message)
{
    if (message.size() < HeaderSize || message[1] != 0 || Ipv4::checksum(message) != 0)
        return {};
    auto type = static_cast<Type>(message[0]);
    if (type != Type::EchoReply && type != Type::EchoRequest)
        return {};
    return Echo {
        .type = type,
        .identifier = read_be16(message, 4),
        .sequence = read_be16(message, 6),
        .data = message.subspan(HeaderSize),
    };
}

void write_echo(std::span<u8> message, Echo const& echo)
{
    VERIFY(message.size() == HeaderSize + echo.data.size());
    message[0] = static_cast<u8>(echo.type);
    message[1] = 0;
    write_be16(message, 2, 0);
    write_be16(message, 4, echo.identifier);
    write_be16(message, 6, echo.sequence);
    std::copy(echo.data.begin(), echo.data.end(), message.begin() + HeaderSize);
    write_be16(message, 2, Ipv4::checksum(message));
}

}
