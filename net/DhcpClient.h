#pragma once

#include "base/Vector.h"
#include "net/Ipv4Address.h"
#include "net/NetworkCard.h"

#include <optional>

// What a DHCP server granted: the address in its subnet, the gateway (zero
// for none) and how long the address is ours.
struct DhcpLease {
    Ipv4Subnet subnet;
    Ipv4Address gateway;
    Ipv4Address server;
    u32 lease_seconds { 0 };
};

enum class DhcpState {
    Off,
    // A discover is out; waiting for an offer.
    Selecting,
    // An offer is taken; waiting for the server's acknowledgement.
    Requesting,
    Bound,
    // No server answered before the deadline: the machine has no address.
    Failed,
};

// The client side of DHCP's exchange: discover, offer, request, acknowledge.
// It only builds and reads the messages and keeps time; the stack
// broadcasts what it returns from poll (UDP from port 68 to port 67) and
// hands it what arrives on port 68. The lease is not renewed.
class DhcpClient {
public:
    static constexpr u16 ClientPort = 68;
    static constexpr u16 ServerPort = 67;
    // A message unanswered after this long is sent again, until the whole
    // exchange has taken TimeoutMs.
    static constexpr u32 RetryIntervalMs = 2000;
    static constexpr u32 TimeoutMs = 10'000;

    // Starts an exchange at the next poll, forgetting any lease.
    void start(MacAddress mac);
    // Ends an exchange or forgets a lease: the address was set by hand.
    void stop();
    // The message to broadcast now, if one is due. Past the deadline the
    // client gives up (state Failed) and sends nothing.
    std::optional<ByteBuffer> poll(u32 now_ms);
    // A datagram that came to the client port. True when it was the answer
    // awaited: an offer taken, a refusal, or the acknowledgement that binds
    // the lease. Anything else (another machine's exchange, a second offer,
    // a malformed message) changes nothing.
    bool receive(std::span<u8 const> message);

    DhcpState state() const { return m_state; }
    bool is_running() const { return m_state == DhcpState::Selecting || m_state == DhcpState::Requesting; }
    std::optional<DhcpLease> const& lease() const { return m_lease; }

private:
    ByteBuffer build_message(u8 type) const;

    DhcpState m_state { DhcpState::Off };
    MacAddress m_mac {};
    u32 m_transaction { 0 };
    std::optional<u32> m_started_ms;
    u32 m_last_sent_ms { 0 };
    // Set when the next poll must send at once: at the start, after an
    // offer, after a refusal.
    bool m_send_now { false };
    // The offer being requested: the address and the server that made it.
    DhcpLease m_offer;
    std::optional<DhcpLease> m_lease;
};
