#include "net/Arp.h"
#include "base/Endian.h"
#include "net/Ethernet.h"

#include <algorithm>

namespace {

constexpr u16 EthernetHardware = 1;

bool is_group(MacAddress const& mac) { return (mac[0] & 1) != 0; }

bool is_expired(Arp::Entry const& entry, u32 now_ms)
{
    return !entry.in_use || now_ms - entry.learned_at_ms >= Arp::EntryLifetimeMs;
}

}

std::optional<ArpPacket> ArpPacket::parse(std::span<u8 const> bytes)
{
    if (bytes.size() < Size || read_be16(bytes, 0) != EthernetHardware
        || read_be16(bytes, 2) != static_cast<u16>(Ethernet::FrameType::Ipv4) || bytes[4] != 6 || bytes[5] != 4)
        return {};
    u16 operation = read_be16(bytes, 6);
    if (operation != static_cast<u16>(Operation::Request) && operation != static_cast<u16>(Operation::Reply))
        return {};
    ArpPacket packet {};
    packet.operation = static_cast<Operation>(operation);
    std::copy_n(bytes.begin() + 8, 6, packet.sender_mac.begin());
    packet.sender_address = Ipv4Address(read_be32(bytes, 14));
    std::copy_n(bytes.begin() + 18, 6, packet.target_mac.begin());
    packet.target_address = Ipv4Address(read_be32(bytes, 24));
    return packet;
}

void ArpPacket::write(std::span<u8> bytes) const
{
    VERIFY(bytes.size() >= Size);
    write_be16(bytes, 0, EthernetHardware);
    write_be16(bytes, 2, static_cast<u16>(Ethernet::FrameType::Ipv4));
    bytes[4] = 6;
    bytes[5] = 4;
    write_be16(bytes, 6, static_cast<u16>(operation));
    std::copy(sender_mac.begin(), sender_mac.end(), bytes.begin() + 8);
    write_be32(bytes, 14, sender_address.value());
    std::copy(target_mac.begin(), target_mac.end(), bytes.begin() + 18);
    write_be32(bytes, 24, target_address.value());
}

std::optional<MacAddress> Arp::lookup(Ipv4Address address, u32 now_ms) const
{
    for (auto const& entry : m_cache) {
        if (entry.address == address && !is_expired(entry, now_ms))
            return entry.mac;
    }
    return {};
}

Vector<Arp::Entry> Arp::live_entries(u32 now_ms) const
{
    Vector<Entry> entries;
    for (auto const& entry : m_cache) {
        if (!is_expired(entry, now_ms))
            entries.append(entry);
    }
    return entries;
}

ErrorOr<void> Arp::send_when_resolved(Ipv4Address next_hop, ByteBuffer frame)
{
    auto resolution = std::find_if(
        m_resolutions.begin(), m_resolutions.end(), [&](auto const& each) { return each.address == next_hop; });
    if (resolution == m_resolutions.end()) {
        if (m_resolutions.size() == MaxResolutions)
            return Error("Network queue full");
        m_resolutions.append(Resolution { next_hop, 0, 0, {} });
        resolution = &m_resolutions.last();
    }
    if (resolution->waiting.size() == MaxWaitingFrames)
        return Error("Network queue full");
    resolution->waiting.append(std::move(frame));
    return {};
}

bool Arp::receive(ArpPacket const& packet, LinkAddresses const& us, u32 now_ms)
{
    // A group address cannot own an IPv4 address, and our own is our own
    // frame come back.
    if (is_group(packet.sender_mac) || packet.sender_mac == us.mac)
        return false;
    bool for_us = !us.address.is_zero() && packet.target_address == us.address;
    // A sender of 0.0.0.0 is a machine probing whether an address is free:
    // it is answered but not learned.
    bool learnable = !packet.sender_address.is_zero() && !packet.sender_address.is_broadcast()
        && packet.sender_address != us.address;
    // As ARP itself prescribes: a known machine is refreshed whoever it
    // talks to, a new one learned only when it talks to us, so a busy
    // wire does not churn the cache.
    bool known = learnable && find_entry(packet.sender_address, now_ms);
    if (learnable && (known || for_us)) {
        learn(packet.sender_address, packet.sender_mac, now_ms);
        release_waiting(packet.sender_address, packet.sender_mac);
    }
    if (for_us && packet.operation == ArpPacket::Operation::Request) {
        ArpPacket reply { ArpPacket::Operation::Reply, us.mac, us.address, packet.sender_mac, packet.sender_address };
        auto frame = Ethernet::make_frame(packet.sender_mac, us.mac, Ethernet::FrameType::Arp, ArpPacket::Size);
        reply.write(Ethernet::payload_of(frame));
        // A reply that finds the queue full is lost like one lost on the
        // wire: the asker asks again.
        (void)m_outgoing.push(std::move(frame));
    }
    return for_us || known;
}

void Arp::poll(LinkAddresses const& us, u32 now_ms)
{
    for (size_t i = 0; i < m_resolutions.size();) {
        auto& resolution = m_resolutions[i];
        if (resolution.requests_sent > 0 && now_ms - resolution.last_request_ms < RetryIntervalMs) {
            ++i;
        } else if (resolution.requests_sent == MaxRequests) {
            m_counters.unresolved_frames_dropped += resolution.waiting.size();
            m_resolutions.remove(i);
        } else {
            send_request(resolution, us, now_ms);
            ++i;
        }
    }
}

Arp::Entry* Arp::find_entry(Ipv4Address address, u32 now_ms)
{
    for (auto& entry : m_cache) {
        if (entry.address == address && !is_expired(entry, now_ms))
            return &entry;
    }
    return nullptr;
}

void Arp::learn(Ipv4Address address, MacAddress mac, u32 now_ms)
{
    Entry* slot = find_entry(address, now_ms);
    if (!slot)
        slot = std::find_if(
            m_cache.begin(), m_cache.end(), [&](auto const& entry) { return is_expired(entry, now_ms); });
    if (slot == m_cache.end()) {
        slot = std::max_element(m_cache.begin(), m_cache.end(),
            [&](auto const& a, auto const& b) { return now_ms - a.learned_at_ms < now_ms - b.learned_at_ms; });
    }
    *slot = Entry { address, mac, now_ms, true };
}

void Arp::release_waiting(Ipv4Address address, MacAddress mac)
{
    for (size_t i = 0; i < m_resolutions.size(); ++i) {
        if (m_resolutions[i].address != address)
            continue;
        for (auto& frame : m_resolutions[i].waiting) {
            std::copy(mac.begin(), mac.end(), frame.begin());
            if (m_outgoing.push(std::move(frame)).is_error())
                ++m_counters.unresolved_frames_dropped;
        }
        m_resolutions.remove(i);
        return;
    }
}

void Arp::send_request(Resolution& resolution, LinkAddresses const& us, u32 now_ms)
{
    ArpPacket request { ArpPacket::Operation::Request, us.mac, us.address, {}, resolution.address };
    auto frame = Ethernet::make_frame(Ethernet::BroadcastMac, us.mac, Ethernet::FrameType::Arp, ArpPacket::Size);
    request.write(Ethernet::payload_of(frame));
    // A request that finds the queue full counts as sent: its retry comes.
    (void)m_outgoing.push(std::move(frame));
    ++resolution.requests_sent;
    resolution.last_request_ms = now_ms;
}
