#pragma once

#include "net/Arp.h"
#include "net/DhcpClient.h"
#include "net/Ipv4.h"
#include "net/OutgoingQueue.h"
#include "net/Ping.h"
#include "net/UdpPorts.h"

// The machine's IPv4 networking above one card: Ethernet frames, ARP, IPv4,
// ICMP echo, UDP ports and a DHCP client. Single-threaded and driven by
// poll: it takes in what the card received, runs its timers on the time it
// is given and hands queued frames to the card, so whoever owns it decides
// when networking runs and nothing in it ever waits.
//
// Every frame that arrives is untrusted: it is checked field by field before
// anything is read, dropped and counted when anything is off, and what it
// can make the stack keep is bounded by the queues' sizes.
class NetworkStack {
public:
    // A flood of frames is taken in a poll at a time, so the caller's loop
    // keeps running.
    static constexpr size_t MaxFramesPerPoll = 32;

    // `card` is null when the machine has none: the stack then reports that
    // and every send fails. A card given must outlive the stack.
    explicit NetworkStack(NetworkCard* card);
    // Its parts refer to one another: a stack stays where it was made.
    NetworkStack(NetworkStack const&) = delete;
    NetworkStack& operator=(NetworkStack const&) = delete;

    // The card found at start-up, for a stack made before it was looked for.
    void set_card(NetworkCard* card) { m_card = card; }
    bool has_card() const { return m_card != nullptr; }
    // Zero without a card.
    MacAddress mac_address() const;
    bool link_up() const;

    void poll(u32 now_ms);

    // Sets the address by hand (a zero gateway is none); stops DHCP.
    void configure(Ipv4Subnet subnet, Ipv4Address gateway);
    void unconfigure();
    std::optional<Ipv4Subnet> const& subnet() const { return m_subnet; }
    Ipv4Address gateway() const { return m_gateway; }

    // Forgets the address and asks a DHCP server for one from the next poll
    // on; dhcp_state tells how it goes, and the address is set when it is
    // bound.
    ErrorOr<void> start_dhcp();
    DhcpState dhcp_state() const { return m_dhcp.state(); }
    std::optional<DhcpLease> const& dhcp_lease() const { return m_dhcp.lease(); }

    // Queues an echo request (Ping::Identifier, `sequence`) stamped with
    // `now_ms`; its reply turns up in take_ping_reply after a later poll.
    ErrorOr<void> send_ping(Ipv4Address destination, u16 sequence, u32 now_ms);
    std::optional<PingReply> take_ping_reply() { return m_ping.take_reply(); }

    ErrorOr<void> open_udp_port(u16 port) { return m_ports.open(port); }
    void close_udp_port(u16 port) { m_ports.close(port); }
    // Sends from an open port. Sends between polls take the time of the
    // last one (ARP entries expire on it). Queued is not delivered: a next hop that
    // never answers ARP drops the datagram later (counted).
    ErrorOr<void> send_udp(u16 local_port, Ipv4Address destination, u16 destination_port, std::span<u8 const> data);
    // Never waits: nothing when no datagram is waiting.
    ErrorOr<std::optional<UdpDatagram>> receive_udp(u16 local_port) { return m_ports.receive(local_port); }

    NetworkCounters const& counters() const { return m_counters; }
    // The ARP entries alive at the last poll.
    Vector<Arp::Entry> arp_entries() const { return m_arp.live_entries(m_now_ms); }
    size_t queued_frames() const { return m_outgoing.size(); }

private:
    LinkAddresses link_addresses() const;
    bool handle_frame(std::span<u8 const> bytes);
    bool handle_ipv4(std::span<u8 const> bytes);
    bool handle_icmp(Ipv4::Packet const& packet);
    bool handle_udp(Ipv4::Packet const& packet, bool addressed_to_us);
    void apply_lease(DhcpLease const& lease);

    // The machine a datagram for `destination` goes to first: itself when
    // on our subnet, the gateway otherwise; broadcast for broadcasts.
    ErrorOr<Ipv4Address> next_hop_for(Ipv4Address destination) const;
    // A frame with the IPv4 header written for `payload_size` bytes of
    // payload, and its destination MAC still zero.
    ErrorOr<ByteBuffer> make_ipv4_frame(
        Ipv4Address source, Ipv4Address destination, Ipv4::Protocol protocol, size_t payload_size);
    // Fills in the destination MAC and queues the frame, or hands it to ARP
    // to wait for the next hop's answer.
    ErrorOr<void> transmit(ByteBuffer frame, Ipv4Address next_hop);
    void broadcast_dhcp(ByteBuffer const& message);

    NetworkCard* m_card;
    NetworkCounters m_counters;
    OutgoingQueue m_outgoing;
    Arp m_arp { m_outgoing, m_counters };
    DhcpClient m_dhcp;
    Ping m_ping;
    UdpPorts m_ports;
    std::optional<Ipv4Subnet> m_subnet;
    Ipv4Address m_gateway;
    u32 m_now_ms { 0 };
    u16 m_next_identification { 1 };
    std::array<u8, NetworkCard::MaxFrameSize> m_receive_buffer {};
};
