#include "net/Ipv4Address.h"

#include <bit>

namespace {

// One to three decimal digits at `at`, with no leading zero, up to `limit`.
std::optional<u32> read_decimal(String const& text, size_t& at, u32 limit)
{
    size_t start = at;
    u32 value = 0;
    while (at < text.length() && at - start < 3 && text[at] >= '0' && text[at] <= '9')
        value = value * 10 + (text[at++] - '0');
    if (at == start || (at - start > 1 && text[start] == '0') || value > limit)
        return {};
    return value;
}

std::optional<Ipv4Address> read_address(String const& text, size_t& at)
{
    u32 value = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (at >= text.length() || text[at++] != '.'))
            return {};
        auto number = read_decimal(text, at, 255);
        if (!number)
            return {};
        value = value << 8 | *number;
    }
    return Ipv4Address(value);
}

}

std::optional<Ipv4Address> Ipv4Address::from_string(String const& text)
{
    size_t at = 0;
    auto address = read_address(text, at);
    if (!address || at != text.length())
        return {};
    return address;
}

String Ipv4Address::to_string() const
{
    String text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24)
            text += u'.';
        text += String::number((m_value >> shift) & 0xFF);
    }
    return text;
}

std::optional<Ipv4Subnet> Ipv4Subnet::from_string(String const& text)
{
    size_t at = 0;
    auto address = read_address(text, at);
    if (!address || at >= text.length() || text[at++] != '/')
        return {};
    auto prefix_length = read_decimal(text, at, 32);
    if (!prefix_length || at != text.length())
        return {};
    return Ipv4Subnet { *address, static_cast<u8>(*prefix_length) };
}

std::optional<Ipv4Subnet> Ipv4Subnet::from_netmask(Ipv4Address address, Ipv4Address netmask)
{
    u32 host_bits = ~netmask.value();
    if ((host_bits & (host_bits + 1)) != 0)
        return {};
    return Ipv4Subnet { address, static_cast<u8>(std::popcount(netmask.value())) };
}

Ipv4Address Ipv4Subnet::netmask() const
{
    // A shift by the full width is undefined, so /0 is its own case.
    return Ipv4Address(prefix_length == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix_length));
}

Ipv4Address Ipv4Subnet::broadcast() const { return Ipv4Address(address.value() | ~netmask().value()); }

bool Ipv4Subnet::contains(Ipv4Address other) const
{
    return ((address.value() ^ other.value()) & netmask().value()) == 0;
}

String Ipv4Subnet::to_string() const { return address.to_string() + "/" + String::number(prefix_length); }
