#pragma once

#include "base/Types.h"

#include <optional>
#include <span>

// ICMP echo messages, the two kinds of ICMP the system speaks: a type and a
// code byte, the checksum over the whole message, the identifier and
// sequence number the asker chose, and data the answer repeats.
namespace Icmp {

constexpr size_t HeaderSize = 8;

enum class Type : u8 {
    EchoReply = 0,
    EchoRequest = 8,
};

struct Echo {
    Type type;
    u16 identifier;
    u16 sequence;
    std::span<u8 const> data;
};

// Nothing for a message that is not an echo request or reply (code 0) with
// a right checksum.
std::optional<Echo> parse_echo(std::span<u8 const> message);
// Writes an echo message that fills `message` (HeaderSize bytes and the
// data), checksum included.
void write_echo(std::span<u8> message, Echo const& echo);

}
