#include "net/NetworkStack.h"
#include "net/Ethernet.h"
#include "net/Icmp.h"
#include "net/Udp.h"

#include <algorithm>

NetworkStack::NetworkStack(NetworkCard* card)
    : m_card(card)
{
}

MacAddress NetworkStack::mac_address() const { return m_card ? m_card->mac_address() : MacAddress {}; }

bool NetworkStack::link_up() const { return m_card && m_card->link_up(); }

void NetworkStack::poll(u32 now_ms)
{
    m_now_ms = now_ms;
    if (!m_card)
        return;
    for (size_t i = 0; i < MaxFramesPerPoll; ++i) {
        size_t length = m_card->receive(m_receive_buffer);
        if (length == 0)
            break;
        ++m_counters.frames_received;
        if (length > m_receive_buffer.size() || !handle_frame(std::span(m_receive_buffer).first(length)))
            ++m_counters.frames_dropped;
    }
    if (auto message = m_dhcp.poll(now_ms))
        broadcast_dhcp(*message);
    m_arp.poll(link_addresses(), now_ms);
    m_outgoing.flush(*m_card, m_counters);
}

void NetworkStack::configure(Ipv4Subnet subnet, Ipv4Address gateway)
{
    m_dhcp.stop();
    m_subnet = subnet;
    m_gateway = gateway;
}

void NetworkStack::unconfigure()
{
    m_dhcp.stop();
    m_subnet.reset();
    m_gateway = {};
}

ErrorOr<void> NetworkStack::start_dhcp()
{
    if (!m_card)
        return Error("No network card");
    unconfigure();
    m_dhcp.start(m_card->mac_address());
    return {};
}

ErrorOr<void> NetworkStack::send_ping(Ipv4Address destination, u16 sequence, u32 now_ms)
{
    auto next_hop = TRY(next_hop_for(destination));
    auto frame
        = TRY(make_ipv4_frame(m_subnet->address, destination, Ipv4::Protocol::Icmp, Icmp::HeaderSize + Ping::DataSize));
    Icmp::write_echo(Ethernet::payload_of(frame).subspan(Ipv4::HeaderSize),
        { Icmp::Type::EchoRequest, Ping::Identifier, sequence, Ping::data() });
    TRY(transmit(std::move(frame), next_hop));
    m_ping.note_sent(destination, sequence, now_ms);
    return {};
}

ErrorOr<void> NetworkStack::send_udp(
    u16 local_port, Ipv4Address destination, u16 destination_port, std::span<u8 const> data)
{
    if (!m_ports.is_open(local_port))
        return Error("Port not open");
    if (destination_port == 0)
        return Error("Invalid port");
    if (data.size() > Udp::MaxDataSize)
        return Error("Datagram too large");
    auto next_hop = TRY(next_hop_for(destination));
    auto frame
        = TRY(make_ipv4_frame(m_subnet->address, destination, Ipv4::Protocol::Udp, Udp::HeaderSize + data.size()));
    Udp::write(Ethernet::payload_of(frame).subspan(Ipv4::HeaderSize), m_subnet->address, destination,
        { local_port, destination_port, data });
    return transmit(std::move(frame), next_hop);
}

LinkAddresses NetworkStack::link_addresses() const
{
    return { mac_address(), m_subnet ? m_subnet->address : Ipv4Address() };
}

bool NetworkStack::handle_frame(std::span<u8 const> bytes)
{
    auto frame = Ethernet::parse(bytes);
    if (!frame || (frame->destination != mac_address() && frame->destination != Ethernet::BroadcastMac))
        return false;
    switch (static_cast<Ethernet::FrameType>(frame->type)) {
    case Ethernet::FrameType::Arp: {
        auto packet = ArpPacket::parse(frame->payload);
        return packet && m_arp.receive(*packet, link_addresses(), m_now_ms);
    }
    case Ethernet::FrameType::Ipv4:
        return handle_ipv4(frame->payload);
    }
    return false;
}

bool NetworkStack::handle_ipv4(std::span<u8 const> bytes)
{
    auto packet = Ipv4::parse(bytes);
    if (!packet || packet->source.is_broadcast() || packet->source.is_multicast())
        return false;
    auto destination = packet->destination;
    bool addressed_to_us = destination.is_broadcast()
        || (m_subnet && (destination == m_subnet->address || destination == m_subnet->broadcast()));
    // A server may send its offer to the address it offers, which is not
    // ours yet: while DHCP runs, UDP for any address is looked at (and
    // dropped unless it is for the client's port).
    bool for_dhcp = m_dhcp.is_running() && packet->protocol == static_cast<u8>(Ipv4::Protocol::Udp);
    if (!addressed_to_us && !for_dhcp)
        return false;
    switch (static_cast<Ipv4::Protocol>(packet->protocol)) {
    case Ipv4::Protocol::Icmp:
        return handle_icmp(*packet);
    case Ipv4::Protocol::Udp:
        return handle_udp(*packet, addressed_to_us);
    }
    return false;
}

bool NetworkStack::handle_icmp(Ipv4::Packet const& packet)
{
    auto echo = Icmp::parse_echo(packet.payload);
    if (!echo)
        return false;
    if (echo->type == Icmp::Type::EchoReply)
        return m_ping.take_echo_reply(packet.source, *echo, m_now_ms);
    // Echo requests to a broadcast address go unanswered: one request
    // would make every machine on the wire answer at once.
    if (!m_subnet || packet.destination != m_subnet->address)
        return false;
    auto next_hop = next_hop_for(packet.source);
    if (next_hop.is_error())
        return false;
    auto frame = make_ipv4_frame(m_subnet->address, packet.source, Ipv4::Protocol::Icmp, packet.payload.size());
    if (frame.is_error())
        return false;
    Icmp::write_echo(Ethernet::payload_of(frame.value()).subspan(Ipv4::HeaderSize),
        { Icmp::Type::EchoReply, echo->identifier, echo->sequence, echo->data });
    return !transmit(frame.release_value(), next_hop.value()).is_error();
}

bool NetworkStack::handle_udp(Ipv4::Packet const& packet, bool addressed_to_us)
{
    auto datagram = Udp::parse(packet);
    if (!datagram)
        return false;
    if (m_dhcp.is_running() && datagram->destination_port == DhcpClient::ClientPort) {
        if (datagram->source_port != DhcpClient::ServerPort)
            return false;
        if (!m_dhcp.receive(datagram->data))
            return false;
        if (m_dhcp.state() == DhcpState::Bound)
            apply_lease(*m_dhcp.lease());
        return true;
    }
    if (!addressed_to_us)
        return false;
    switch (m_ports.deliver(datagram->destination_port, packet.source, datagram->source_port, datagram->data)) {
    case UdpPorts::Delivery::Queued:
        return true;
    case UdpPorts::Delivery::QueueFull:
        ++m_counters.port_queue_overflows;
        return false;
    case UdpPorts::Delivery::PortClosed:
        return false;
    }
    return false;
}

void NetworkStack::apply_lease(DhcpLease const& lease)
{
    m_subnet = lease.subnet;
    m_gateway = lease.gateway;
}

ErrorOr<Ipv4Address> NetworkStack::next_hop_for(Ipv4Address destination) const
{
    if (!m_card)
        return Error("No network card");
    if (!m_subnet)
        return Error("No network address");
    if (destination.is_broadcast() || destination == m_subnet->broadcast())
        return Ipv4Address::broadcast();
    if (destination.is_zero() || destination.is_multicast())
        return Error("Invalid destination address");
    if (destination == m_subnet->address)
        return Error("Cannot send to own address");
    if (m_subnet->contains(destination))
        return destination;
    if (m_gateway.is_zero())
        return Error("No route to host");
    return m_gateway;
}

ErrorOr<ByteBuffer> NetworkStack::make_ipv4_frame(
    Ipv4Address source, Ipv4Address destination, Ipv4::Protocol protocol, size_t payload_size)
{
    if (payload_size > Ethernet::Mtu - Ipv4::HeaderSize)
        return Error("Datagram too large");
    auto frame = Ethernet::make_frame({}, mac_address(), Ethernet::FrameType::Ipv4, Ipv4::HeaderSize + payload_size);
    Ipv4::write_header(Ethernet::payload_of(frame), source, destination, protocol, m_next_identification++);
    return frame;
}

ErrorOr<void> NetworkStack::transmit(ByteBuffer frame, Ipv4Address next_hop)
{
    std::optional<MacAddress> mac;
    if (next_hop.is_broadcast())
        mac = Ethernet::BroadcastMac;
    else
        mac = m_arp.lookup(next_hop, m_now_ms);
    if (!mac)
        return m_arp.send_when_resolved(next_hop, std::move(frame));
    std::copy(mac->begin(), mac->end(), frame.begin());
    return m_outgoing.push(std::move(frame));
}

void NetworkStack::broadcast_dhcp(ByteBuffer const& message)
{
    auto frame
        = MUST(make_ipv4_frame({}, Ipv4Address::broadcast(), Ipv4::Protocol::Udp, Udp::HeaderSize + message.size()));
    Udp::write(Ethernet::payload_of(frame).subspan(Ipv4::HeaderSize), {}, Ipv4Address::broadcast(),
        { DhcpClient::ClientPort, DhcpClient::ServerPort, message });
    // A message that finds the queue full is lost like one lost on the wire:
    // the client sends it again.
    (void)transmit(std::move(frame), Ipv4Address::broadcast());
}
