#include "tests/unit/NetworkTestSupport.h"

#include <map>

namespace {

constexpr Ipv4Address Server = GatewayAddress;
constexpr Ipv4Address Offered { 192, 0, 2, 77 };

enum Kind : u8 {
    Discover = 1,
    Offer = 2,
    Request = 3,
    Ack = 5,
    Nak = 6,
};

// A client's message taken apart: its transaction and its options by code.
struct ClientMessage {
    explicit ClientMessage(Bytes const& frame)
    {
        SentIpv4 datagram(frame);
        EXPECT_EQ(datagram.destination_mac(), Broadcast);
        EXPECT_TRUE(datagram.header_checksum_right());
        EXPECT_EQ(datagram.source(), Ipv4Address());
        EXPECT_EQ(datagram.destination(), Ipv4Address::broadcast());
        EXPECT_EQ(get16(datagram.payload, 0), 68);
        EXPECT_EQ(get16(datagram.payload, 2), 67);
        EXPECT_TRUE(datagram.udp_checksum_right());
        bytes = datagram.udp_data();
        EXPECT_GE(bytes.size(), 300u);
        EXPECT_EQ(bytes.at(0), 1);                       // a request
        EXPECT_EQ(slice(bytes, 1, 2), (Bytes { 1, 6 })); // Ethernet, six bytes
        EXPECT_EQ(get16(bytes, 10), 0x8000) << "replies must be broadcast";
        EXPECT_EQ(get_mac(bytes, 28), OurMac);
        EXPECT_EQ(get32(bytes, 236), 0x63825363u);
        transaction = get32(bytes, 4);
        for (size_t at = 240; at < bytes.size() && bytes[at] != 255;) {
            if (bytes[at] == 0) {
                ++at;
                continue;
            }
            options[bytes.at(at)] = slice(bytes, at + 2, bytes.at(at + 1));
            at += 2 + bytes[at + 1];
        }
    }
    u8 kind() const { return options.at(53).at(0); }

    Bytes bytes;
    u32 transaction { 0 };
    std::map<u8, Bytes> options;
};

Bytes address_bytes(Ipv4Address address)
{
    Bytes bytes;
    put32(bytes, address.value());
    return bytes;
}

struct Reply {
    u8 kind;
    u32 transaction;
    Ipv4Address your_address { Offered };
    std::vector<std::pair<u8, Bytes>> options {};
    MacAddress client { OurMac };
};

// A server's answer as a broadcast from port 67 to port 68.
Bytes server_frame(Reply const& reply, Ipv4Address to = Ipv4Address::broadcast(), u16 from_port = 67)
{
    Bytes message { 2, 1, 6, 0 };
    put32(message, reply.transaction);
    message.resize(16);
    put32(message, reply.your_address.value());
    put32(message, Server.value());
    message.resize(28);
    put(message, reply.client);
    message.resize(236);
    put32(message, 0x63825363);
    message.insert(message.end(), { 53, 1, reply.kind });
    for (auto const& [code, value] : reply.options) {
        message.push_back(code);
        message.push_back(static_cast<u8>(value.size()));
        put(message, value);
    }
    message.push_back(255);
    return ethernet_frame(to.is_broadcast() ? Broadcast : OurMac, GatewayMac, TypeIpv4,
        ipv4_packet(Server, to, ProtocolUdp, udp_segment(Server, to, from_port, 68, message)));
}

std::vector<std::pair<u8, Bytes>> lease_options()
{
    Bytes routers = address_bytes(GatewayAddress);
    put(routers, address_bytes(Ipv4Address(192, 0, 2, 2)));
    return { { 54, address_bytes(Server) }, { 1, address_bytes(Ipv4Address(255, 255, 255, 0)) }, { 3, routers },
        { 51, { 0, 0, 0x0E, 0x10 } } };
}

struct Dhcp : NetworkFixture {
    Dhcp()
    {
        stack.unconfigure();
        EXPECT_FALSE(stack.start_dhcp().is_error());
    }

    // Polls once and returns the one message the client sent.
    ClientMessage next_message(std::vector<Bytes> const& frames = {}, u32 ms = 0)
    {
        auto sent = exchange(frames, ms);
        EXPECT_EQ(sent.size(), 1u);
        return ClientMessage(sent.empty() ? Bytes(400) : sent[0]);
    }
};

}

TEST_F(Dhcp, TheFullExchangeSetsTheAddressNetmaskAndGateway)
{
    auto discover = next_message();
    EXPECT_EQ(discover.kind(), Discover);
    auto const& wanted = discover.options.at(55);
    EXPECT_NE(std::find(wanted.begin(), wanted.end(), 1), wanted.end()) << "asks for the netmask";
    EXPECT_NE(std::find(wanted.begin(), wanted.end(), 3), wanted.end()) << "asks for the router";
    EXPECT_EQ(stack.dhcp_state(), DhcpState::Selecting);

    auto request = next_message({ server_frame({ Offer, discover.transaction, Offered, lease_options() }) }, 50);
    EXPECT_EQ(request.kind(), Request);
    EXPECT_EQ(request.transaction, discover.transaction);
    EXPECT_EQ(request.options.at(50), address_bytes(Offered));
    EXPECT_EQ(request.options.at(54), address_bytes(Server));
    EXPECT_EQ(stack.dhcp_state(), DhcpState::Requesting);
    EXPECT_FALSE(stack.subnet());

    // A second server's offer, made while the first is requested, changes
    // nothing and counts as dropped.
    EXPECT_TRUE(
        exchange({ server_frame({ Offer, discover.transaction, Ipv4Address(192, 0, 2, 88), lease_options() }) }, 10)
            .empty());

    EXPECT_TRUE(exchange({ server_frame({ Ack, discover.transaction, Offered, lease_options() }) }, 50).empty());
    EXPECT_EQ(stack.dhcp_state(), DhcpState::Bound);
    ASSERT_TRUE(stack.subnet());
    EXPECT_EQ(stack.subnet()->to_string(), Ipv4Subnet::from_string("192.0.2.77/24")->to_string());
    EXPECT_EQ(stack.gateway(), GatewayAddress);
    ASSERT_TRUE(stack.dhcp_lease());
    EXPECT_EQ(stack.dhcp_lease()->lease_seconds, 3600u);
    EXPECT_EQ(stack.dhcp_lease()->server, Server);
    EXPECT_EQ(stack.counters().frames_dropped, 1u);

    // Bound: no more messages, and the new address is the one used.
    EXPECT_TRUE(exchange({}, 30'000).empty());
    ASSERT_FALSE(stack.send_ping(PeerAddress, 1, now).is_error());
    auto sent = exchange();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(slice(sent[0], 14, 28), arp_packet(1, OurMac, Offered, {}, PeerAddress));
}

TEST_F(Dhcp, RepliesSentToTheOfferedAddressAreTakenAndAMissingNetmaskMeansSlash24)
{
    auto discover = next_message();
    auto options = lease_options();
    options.erase(options.begin() + 1);
    auto request = next_message({ server_frame({ Offer, discover.transaction, Offered, options }, Offered) });
    EXPECT_EQ(request.kind(), Request);
    exchange({ server_frame({ Ack, discover.transaction, Offered, options }, Offered) });
    ASSERT_EQ(stack.dhcp_state(), DhcpState::Bound);
    EXPECT_EQ(stack.subnet()->prefix_length, 24);
}

TEST_F(Dhcp, RepliesForOthersOrMalformedOnesAreIgnored)
{
    auto discover = next_message();
    u32 transaction = discover.transaction;
    auto options = lease_options();
    auto with_option = [&](u8 code, Bytes value) {
        auto changed = options;
        changed.emplace_back(code, std::move(value));
        return changed;
    };
    auto running_past_the_end = server_frame({ Offer, transaction, Offered, options });
    // The end option becomes a router option whose length runs past the
    // message; both checksums are made right again.
    {
        Bytes message = slice(running_past_the_end, 14 + 28, running_past_the_end.size() - 14 - 28);
        message.back() = 3;
        message.push_back(200);
        put(message, address_bytes(GatewayAddress));
        running_past_the_end = ethernet_frame(Broadcast, GatewayMac, TypeIpv4,
            ipv4_packet(Server, Ipv4Address::broadcast(), ProtocolUdp,
                udp_segment(Server, Ipv4Address::broadcast(), 67, 68, message)));
    }
    std::vector<Bytes> frames {
        server_frame({ Offer, transaction + 1, Offered, options }),
        server_frame({ Offer, transaction, Offered, options, { 0x02, 0, 0, 0, 0, 0x42 } }),
        server_frame({ Ack, transaction, Offered, options }),
        server_frame({ Offer, transaction, Ipv4Address(), options }),
        server_frame({ Offer, transaction, Ipv4Address(224, 0, 0, 9), options }),
        server_frame({ Offer, transaction, Offered, with_option(1, address_bytes(Ipv4Address(255, 0, 255, 0))) }),
        server_frame({ Offer, transaction, Offered, with_option(51, { 1, 2 }) }),
        server_frame({ Offer, transaction, Offered, with_option(3, { 192, 0, 2 }) }),
        server_frame({ Offer, transaction, Offered, with_option(3, { 192, 0, 2, 1, 192, 0 }) }),
        server_frame({ Offer, transaction, Offered, options }, Ipv4Address::broadcast(), 1067),
        running_past_the_end,
    };
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(exchange({ frames[i] }, 1).empty()) << "frame " << i;
        EXPECT_EQ(stack.dhcp_state(), DhcpState::Selecting) << "frame " << i;
        EXPECT_EQ(stack.counters().frames_dropped, i + 1) << "frame " << i;
    }
    // Other UDP to an address not yet ours is not for us.
    ASSERT_FALSE(stack.open_udp_port(7).is_error());
    exchange({ ethernet_frame(OurMac, PeerMac, TypeIpv4,
        ipv4_packet(PeerAddress, Offered, ProtocolUdp, udp_segment(PeerAddress, Offered, 1, 7, bytes_of("x")))) });
    EXPECT_TRUE(stack.receive_udp(7).value() == std::nullopt);

    // And the client still takes the right offer.
    EXPECT_EQ(next_message({ server_frame({ Offer, transaction, Offered, options }) }).kind(), Request);
}

TEST_F(Dhcp, WithoutAServerTheClientRetriesThenGivesUpWithNoAddress)
{
    auto first = next_message();
    u32 started = now;
    EXPECT_TRUE(exchange({}, DhcpClient::RetryIntervalMs - 1).empty());
    for (u32 retry = 1; retry * DhcpClient::RetryIntervalMs < DhcpClient::TimeoutMs; ++retry) {
        auto again = next_message({}, started + retry * DhcpClient::RetryIntervalMs - now);
        EXPECT_EQ(again.kind(), Discover);
        EXPECT_EQ(again.transaction, first.transaction);
        EXPECT_EQ(stack.dhcp_state(), DhcpState::Selecting);
    }
    EXPECT_TRUE(exchange({}, started + DhcpClient::TimeoutMs - now).empty());
    EXPECT_EQ(stack.dhcp_state(), DhcpState::Failed);
    EXPECT_FALSE(stack.subnet());
    EXPECT_FALSE(stack.dhcp_lease());
    EXPECT_TRUE(exchange({ server_frame({ Offer, first.transaction, Offered, lease_options() }) }, 10'000).empty());
    EXPECT_EQ(stack.dhcp_state(), DhcpState::Failed);
    EXPECT_EQ(error_text(stack.send_ping(PeerAddress, 1, now)), "No network address");
}

TEST_F(Dhcp, ARefusalStartsOverAndTheDeadlineStillHolds)
{
    u32 started = now;
    auto discover = next_message();
    auto request = next_message({ server_frame({ Offer, discover.transaction, Offered, lease_options() }) }, 100);
    // An unanswered request is sent again like a discover.
    auto repeated = next_message({}, DhcpClient::RetryIntervalMs);
    EXPECT_EQ(repeated.kind(), Request);

    auto restarted = next_message(
        { server_frame({ Nak, discover.transaction, Offered, { { 54, address_bytes(Server) } } }) }, 100);
    EXPECT_EQ(restarted.kind(), Discover);
    EXPECT_NE(restarted.transaction, discover.transaction);
    EXPECT_EQ(stack.dhcp_state(), DhcpState::Selecting);
    EXPECT_EQ(request.transaction, discover.transaction);

    exchange({}, started + DhcpClient::TimeoutMs - now);
    EXPECT_EQ(stack.dhcp_state(), DhcpState::Failed);
}

TEST_F(Dhcp, AnAcknowledgementForAnotherAddressOrFromAnotherServerIsIgnored)
{
    auto discover = next_message();
    next_message({ server_frame({ Offer, discover.transaction, Offered, lease_options() }) });
    auto other_server = lease_options();
    other_server[0].second = address_bytes(Ipv4Address(192, 0, 2, 99));
    exchange({ server_frame({ Ack, discover.transaction, Ipv4Address(192, 0, 2, 78), lease_options() }),
        server_frame({ Ack, discover.transaction, Offered, other_server }) });
    EXPECT_EQ(stack.dhcp_state(), DhcpState::Requesting);
    EXPECT_FALSE(stack.subnet());
}

TEST_F(Dhcp, SettingTheAddressByHandEndsTheExchange)
{
    next_message();
    stack.configure(Ipv4Subnet { OurAddress, OurPrefix }, GatewayAddress);
    EXPECT_EQ(stack.dhcp_state(), DhcpState::Off);
    EXPECT_TRUE(exchange({}, DhcpClient::RetryIntervalMs).empty());
    EXPECT_EQ(stack.subnet()->address, OurAddress);

    // Starting DHCP forgets the address set by hand.
    ASSERT_FALSE(stack.start_dhcp().is_error());
    EXPECT_FALSE(stack.subnet());
    EXPECT_EQ(next_message().kind(), Discover);
}
