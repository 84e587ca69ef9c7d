#include "net/DhcpClient.h"
#include "base/Endian.h"

#include <algorithm>

namespace {

// The fixed part of a message (BOOTP's), then the options after a magic
// number.
constexpr size_t TransactionOffset = 4;
constexpr size_t FlagsOffset = 10;
constexpr size_t YourAddressOffset = 16;
constexpr size_t ClientHardwareOffset = 28;
constexpr size_t MagicOffset = 236;
constexpr size_t OptionsOffset = 240;
constexpr u32 MagicCookie = 0x63825363;
// Old relays drop anything shorter than a BOOTP message.
constexpr size_t MinimumMessageSize = 300;
constexpr u8 BootRequest = 1;
constexpr u8 BootReply = 2;
constexpr u16 BroadcastFlag = 0x8000;

enum Option : u8 {
    Pad = 0,
    SubnetMask = 1,
    Router = 3,
    RequestedAddress = 50,
    LeaseTime = 51,
    MessageType = 53,
    ServerIdentifier = 54,
    ParameterRequestList = 55,
    End = 255,
};

enum MessageKind : u8 {
    Discover = 1,
    Offer = 2,
    Request = 3,
    Acknowledge = 5,
    NotAcknowledge = 6,
};

struct Reply {
    u8 kind { 0 };
    Ipv4Address your_address;
    Ipv4Address server;
    std::optional<Ipv4Address> netmask;
    Ipv4Address router;
    u32 lease_seconds { 0 };
};

// Every option's length is checked against what is left of the message; an
// option that does not fit, or a known one of the wrong size, makes the whole
// message malformed.
std::optional<Reply> parse_reply(std::span<u8 const> message, u32 transaction, MacAddress const& mac)
{
    if (message.size() < OptionsOffset || message[0] != BootReply
        || read_be32(message, TransactionOffset) != transaction || read_be32(message, MagicOffset) != MagicCookie
        || !std::equal(mac.begin(), mac.end(), message.begin() + ClientHardwareOffset))
        return {};
    Reply reply;
    reply.your_address = Ipv4Address(read_be32(message, YourAddressOffset));
    auto options = message.subspan(OptionsOffset);
    for (size_t at = 0; at < options.size() && options[at] != End;) {
        if (options[at] == Pad) {
            ++at;
            continue;
        }
        if (options.size() - at < 2 || options[at + 1] > options.size() - at - 2)
            return {};
        u8 code = options[at];
        auto value = options.subspan(at + 2, options[at + 1]);
        at += 2 + value.size();
        bool four_bytes = value.size() == 4;
        switch (code) {
        case MessageType:
            if (value.size() != 1)
                return {};
            reply.kind = value[0];
            break;
        case ServerIdentifier:
        case SubnetMask:
        case LeaseTime:
            if (!four_bytes)
                return {};
            if (code == ServerIdentifier)
                reply.server = Ipv4Address(read_be32(value, 0));
            else if (code == SubnetMask)
                reply.netmask = Ipv4Address(read_be32(value, 0));
            else
                reply.lease_seconds = read_be32(value, 0);
            break;
        case Router:
            // A list of routers, the first one preferred.
            if (value.size() < 4 || value.size() % 4 != 0)
                return {};
            reply.router = Ipv4Address(read_be32(value, 0));
            break;
        default:
            break;
        }
    }
    return reply;
}

// An offer or acknowledgement as a lease: nothing when its address could
// not be ours or its netmask is not a prefix. A server that leaves the
// netmask out is taken to mean the common /24.
std::optional<DhcpLease> lease_from(Reply const& reply)
{
    auto address = reply.your_address;
    if (address.is_zero() || address.is_broadcast() || address.is_multicast())
        return {};
    auto subnet = Ipv4Subnet::from_netmask(address, reply.netmask.value_or(Ipv4Address(255, 255, 255, 0)));
    if (!subnet)
        return {};
    return DhcpLease { *subnet, reply.router, reply.server, reply.lease_seconds };
}

}

void DhcpClient::start(MacAddress mac)
{
    m_state = DhcpState::Selecting;
    m_mac = mac;
    m_started_ms.reset();
    m_send_now = true;
    m_lease.reset();
}

void DhcpClient::stop()
{
    m_state = DhcpState::Off;
    m_lease.reset();
}

std::optional<ByteBuffer> DhcpClient::poll(u32 now_ms)
{
    if (!is_running())
        return {};
    if (!m_started_ms) {
        m_started_ms = now_ms;
        // Two machines with the same card model started at the same moment
        // should not share a transaction: the MAC sets them apart.
        m_transaction = read_be32(m_mac, 2) ^ (now_ms * 2654435761u);
    }
    if (now_ms - *m_started_ms >= TimeoutMs) {
        m_state = DhcpState::Failed;
        return {};
    }
    if (!m_send_now && now_ms - m_last_sent_ms < RetryIntervalMs)
        return {};
    m_send_now = false;
    m_last_sent_ms = now_ms;
    return build_message(m_state == DhcpState::Selecting ? Discover : Request);
}

bool DhcpClient::receive(std::span<u8 const> message)
{
    if (!is_running())
        return false;
    auto reply = parse_reply(message, m_transaction, m_mac);
    if (!reply)
        return false;
    if (m_state == DhcpState::Selecting && reply->kind == Offer) {
        auto offer = lease_from(*reply);
        if (!offer || offer->server.is_zero())
            return false;
        m_offer = *offer;
        m_state = DhcpState::Requesting;
        m_send_now = true;
        return true;
    }
    if (m_state != DhcpState::Requesting || (!reply->server.is_zero() && reply->server != m_offer.server))
        return false;
    if (reply->kind == NotAcknowledge) {
        // The offer is gone (another machine took the address): start over
        // with a new transaction, within the same deadline.
        m_state = DhcpState::Selecting;
        ++m_transaction;
        m_send_now = true;
        return true;
    }
    if (reply->kind != Acknowledge)
        return false;
    auto lease = lease_from(*reply);
    if (!lease || lease->subnet.address != m_offer.subnet.address)
        return false;
    lease->server = m_offer.server;
    m_state = DhcpState::Bound;
    m_lease = lease;
    return true;
}

ByteBuffer DhcpClient::build_message(u8 type) const
{
    ByteBuffer message;
    message.resize(MinimumMessageSize);
    message[0] = BootRequest;
    message[1] = 1; // Ethernet
    message[2] = static_cast<u8>(m_mac.size());
    write_be32(message, TransactionOffset, m_transaction);
    // Without an address the machine cannot take a reply sent to one: the
    // server is asked to broadcast.
    write_be16(message, FlagsOffset, BroadcastFlag);
    std::copy(m_mac.begin(), m_mac.end(), message.begin() + ClientHardwareOffset);
    write_be32(message, MagicOffset, MagicCookie);

    size_t at = OptionsOffset;
    auto add_option = [&](u8 code, std::span<u8 const> value) {
        message[at++] = code;
        message[at++] = static_cast<u8>(value.size());
        for (u8 byte : value)
            message[at++] = byte;
    };
    auto add_address = [&](u8 code, Ipv4Address address) {
        std::array<u8, 4> value {};
        write_be32(value, 0, address.value());
        add_option(code, value);
    };
    add_option(MessageType, std::array<u8, 1> { type });
    if (type == Request) {
        add_address(RequestedAddress, m_offer.subnet.address);
        add_address(ServerIdentifier, m_offer.server);
    }
    add_option(ParameterRequestList, std::array<u8, 3> { SubnetMask, Router, LeaseTime });
    message[at] = End;
    return message;
}
