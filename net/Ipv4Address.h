#pragma once

#include "base/String.h"

#include <optional>

// An IPv4 address, kept as a number in host order so that masks and
// comparisons are plain arithmetic; headers carry it big-endian.
class Ipv4Address {
public:
    constexpr Ipv4Address() = default;
    constexpr explicit Ipv4Address(u32 value)
        : m_value(value)
    {
    }
    constexpr Ipv4Address(u8 a, u8 b, u8 c, u8 d)
        : m_value(static_cast<u32>(a) << 24 | static_cast<u32>(b) << 16 | static_cast<u32>(c) << 8 | d)
    {
    }

    // 255.255.255.255: every machine on the wire.
    static constexpr Ipv4Address broadcast() { return Ipv4Address(0xFFFFFFFF); }
    // Four decimal numbers from 0 to 255 between dots ("192.0.2.5") and
    // nothing else: no spaces, no leading zeros (which some systems read as
    // octal), no missing parts.
    static std::optional<Ipv4Address> from_string(String const& text);

    constexpr u32 value() const { return m_value; }
    constexpr bool is_zero() const { return m_value == 0; }
    constexpr bool is_broadcast() const { return m_value == 0xFFFFFFFF; }
    // 224.0.0.0 to 239.255.255.255: groups, never one machine.
    constexpr bool is_multicast() const { return (m_value >> 28) == 0xE; }
    String to_string() const;

    constexpr bool operator==(Ipv4Address const&) const = default;

private:
    u32 m_value { 0 };
};

// A machine's address with the length of its network's prefix, as in
// "192.0.2.5/24": what decides whether another address is on the same wire.
struct Ipv4Subnet {
    // "192.0.2.5/24": an address, a slash and a prefix length from 0 to 32.
    static std::optional<Ipv4Subnet> from_string(String const& text);
    // A netmask whose one bits are not all at the top (255.0.255.0) has no
    // prefix length and gives nothing.
    static std::optional<Ipv4Subnet> from_netmask(Ipv4Address address, Ipv4Address netmask);

    Ipv4Address netmask() const;
    // The subnet's own broadcast address (192.0.2.255 for 192.0.2.5/24).
    Ipv4Address broadcast() const;
    bool contains(Ipv4Address other) const;
    String to_string() const;

    bool operator==(Ipv4Subnet const&) const = default;

    Ipv4Address address;
    u8 prefix_length { 0 };
};
