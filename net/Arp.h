#pragma once

#include "net/Ipv4Address.h"
#include "net/OutgoingQueue.h"

#include <optional>

// An ARP message for IPv4 over Ethernet: who has an address, and the answer.
struct ArpPacket {
    static constexpr size_t Size = 28;

    enum class Operation : u16 {
        Request = 1,
        Reply = 2,
    };

    // Nothing for another hardware or protocol type, or another operation.
    static std::optional<ArpPacket> parse(std::span<u8 const> bytes);
    void write(std::span<u8> bytes) const;

    Operation operation;
    MacAddress sender_mac;
    Ipv4Address sender_address;
    MacAddress target_mac;
    Ipv4Address target_address;
};

// This machine's addresses as ARP uses them; a zero IPv4 address is none.
struct LinkAddresses {
    MacAddress mac;
    Ipv4Address address;
};

// The addresses of machines on the wire, learned from ARP: a small cache
// whose entries expire, so a machine that changed its card is found again,
// and the frames that wait while a request for their next hop is out.
class Arp {
public:
    static constexpr size_t CacheSize = 16;
    static constexpr u32 EntryLifetimeMs = 60'000;
    // A request unanswered after this long is sent again, MaxRequests times
    // in all; then the frames waiting for it are dropped.
    static constexpr u32 RetryIntervalMs = 1000;
    static constexpr u32 MaxRequests = 3;
    // Next hops being asked for at once, and frames waiting for each.
    static constexpr size_t MaxResolutions = 4;
    static constexpr size_t MaxWaitingFrames = 4;

    struct Entry {
        Ipv4Address address;
        MacAddress mac {};
        u32 learned_at_ms { 0 };
        bool in_use { false };
    };

    Arp(OutgoingQueue& outgoing, NetworkCounters& counters)
        : m_outgoing(outgoing)
        , m_counters(counters)
    {
    }

    std::optional<MacAddress> lookup(Ipv4Address address, u32 now_ms) const;
    // The entries that have not expired, for listing.
    Vector<Entry> live_entries(u32 now_ms) const;

    // Queues `frame` (its destination MAC still to be filled in) for
    // `next_hop` once it answers; the request goes out at the next poll.
    ErrorOr<void> send_when_resolved(Ipv4Address next_hop, ByteBuffer frame);
    // Learns from an ARP message, answers a request for our address and
    // releases the frames that waited for the sender. False when the message
    // was neither for us nor about a machine we know.
    bool receive(ArpPacket const& packet, LinkAddresses const& us, u32 now_ms);
    // Sends first requests and retries, and gives up on next hops that have
    // had all their requests.
    void poll(LinkAddresses const& us, u32 now_ms);

private:
    struct Resolution {
        Ipv4Address address;
        u32 requests_sent { 0 };
        u32 last_request_ms { 0 };
        Vector<ByteBuffer> waiting;
    };

    Entry* find_entry(Ipv4Address address, u32 now_ms);
    void learn(Ipv4Address address, MacAddress mac, u32 now_ms);
    void release_waiting(Ipv4Address address, MacAddress mac);
    void send_request(Resolution& resolution, LinkAddresses const& us, u32 now_ms);

    OutgoingQueue& m_outgoing;
    NetworkCounters& m_counters;
    std::array<Entry, CacheSize> m_cache {};
    Vector<Resolution> m_resolutions;
};
