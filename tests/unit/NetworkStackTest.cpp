#include "net/Udp.h"
#include "tests/unit/NetworkTestSupport.h"

namespace {

using Network = NetworkFixture;

Bytes arp_payload(Bytes const& frame) { return slice(frame, 14, 28); }

void expect_arp_request_for(Bytes const& frame, Ipv4Address wanted)
{
    EXPECT_EQ(get_mac(frame, 0), Broadcast);
    EXPECT_EQ(get_mac(frame, 6), OurMac);
    EXPECT_EQ(get16(frame, 12), TypeArp);
    EXPECT_EQ(arp_payload(frame), arp_packet(1, OurMac, OurAddress, {}, wanted));
}

}

TEST_F(Network, FramesForOtherMachinesOrOfUnknownTypesAreDroppedAndCounted)
{
    auto request = icmp_echo(8, 7, 1, bytes_of("hello"));
    auto packet = ipv4_packet(PeerAddress, OurAddress, ProtocolIcmp, request);
    MacAddress someone_else { 0x02, 0, 0, 0, 0, 0x77 };
    MacAddress group { 0x01, 0x00, 0x5E, 0x00, 0x00, 0x01 };
    auto sent = exchange({
        ethernet_frame(someone_else, PeerMac, TypeIpv4, packet),
        ethernet_frame(group, PeerMac, TypeIpv4, packet),
        ethernet_frame(OurMac, PeerMac, 0x86DD, packet),
        slice(ipv4_frame_to_us(packet), 0, 13),
    });
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(stack.counters().frames_received, 4u);
    EXPECT_EQ(stack.counters().frames_dropped, 4u);
    EXPECT_EQ(stack.counters().frames_sent, 0u);
}

TEST_F(Network, ArpRequestsForOurAddressAreAnsweredAndTheAskerLearned)
{
    auto sent = exchange({ arp_request_to_us(PeerMac, PeerAddress) });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(get_mac(sent[0], 0), PeerMac);
    EXPECT_EQ(get_mac(sent[0], 6), OurMac);
    EXPECT_EQ(get16(sent[0], 12), TypeArp);
    EXPECT_EQ(arp_payload(sent[0]), arp_packet(2, OurMac, OurAddress, PeerMac, PeerAddress));
    EXPECT_EQ(stack.counters().frames_dropped, 0u);
    EXPECT_EQ(stack.counters().frames_sent, 1u);

    // The asker's MAC is known now: a datagram goes straight out.
    ASSERT_FALSE(stack.open_udp_port(4000).is_error());
    ASSERT_FALSE(stack.send_udp(4000, PeerAddress, 5000, bytes_of("x")).is_error());
    sent = exchange();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(get_mac(sent[0], 0), PeerMac);

    // A request for another address is not ours to answer, and its sender
    // is not learned from it.
    MacAddress other_mac { 0x02, 0, 0, 0, 0, 0x33 };
    Ipv4Address other { 192, 0, 2, 33 };
    sent
        = exchange({ ethernet_frame(Broadcast, other_mac, TypeArp, arp_packet(1, other_mac, other, {}, PeerAddress)) });
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(stack.counters().frames_dropped, 1u);
    EXPECT_EQ(stack.arp_entries().size(), 1u);
}

TEST_F(Network, MalformedArpIsDropped)
{
    auto good = arp_packet(1, PeerMac, PeerAddress, {}, OurAddress);
    auto wrong_hardware = good;
    wrong_hardware[1] = 6;
    auto wrong_protocol = good;
    wrong_protocol[2] = 0x86;
    auto wrong_length = good;
    wrong_length[5] = 16;
    auto wrong_operation = good;
    wrong_operation[7] = 3;
    MacAddress group { 0x01, 0, 0x5E, 0, 0, 1 };
    auto sent = exchange({
        ethernet_frame(Broadcast, PeerMac, TypeArp, slice(good, 0, 27)),
        ethernet_frame(Broadcast, PeerMac, TypeArp, wrong_hardware),
        ethernet_frame(Broadcast, PeerMac, TypeArp, wrong_protocol),
        ethernet_frame(Broadcast, PeerMac, TypeArp, wrong_length),
        ethernet_frame(Broadcast, PeerMac, TypeArp, wrong_operation),
        ethernet_frame(Broadcast, group, TypeArp, arp_packet(1, group, PeerAddress, {}, OurAddress)),
    });
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(stack.counters().frames_dropped, 6u);
    EXPECT_TRUE(stack.arp_entries().is_empty());
}

TEST_F(Network, AnUnansweredArpRequestIsRetriedThenItsDatagramsAreDropped)
{
    ASSERT_FALSE(stack.open_udp_port(4000).is_error());
    ASSERT_FALSE(stack.send_udp(4000, PeerAddress, 5000, bytes_of("one")).is_error());
    ASSERT_FALSE(stack.send_udp(4000, PeerAddress, 5000, bytes_of("two")).is_error());

    auto sent = exchange();
    ASSERT_EQ(sent.size(), 1u);
    expect_arp_request_for(sent[0], PeerAddress);
    EXPECT_TRUE(exchange({}, Arp::RetryIntervalMs - 1).empty());
    for (u32 retry = 1; retry < Arp::MaxRequests; ++retry) {
        sent = exchange({}, Arp::RetryIntervalMs);
        ASSERT_EQ(sent.size(), 1u) << "retry " << retry;
        expect_arp_request_for(sent[0], PeerAddress);
    }
    EXPECT_EQ(stack.counters().unresolved_frames_dropped, 0u);
    EXPECT_TRUE(exchange({}, Arp::RetryIntervalMs).empty());
    EXPECT_EQ(stack.counters().unresolved_frames_dropped, 2u);
    // Given up for good: a late answer releases nothing.
    EXPECT_TRUE(exchange({ arp_reply_to_us(PeerMac, PeerAddress) }, 10 * Arp::RetryIntervalMs).empty());
}

TEST_F(Network, AnArpReplyReleasesTheWaitingDatagramsInOrder)
{
    ASSERT_FALSE(stack.open_udp_port(4000).is_error());
    for (char c : std::string("abcd"))
        ASSERT_FALSE(stack.send_udp(4000, PeerAddress, 5000, Bytes { static_cast<u8>(c) }).is_error());
    EXPECT_EQ(error_text(stack.send_udp(4000, PeerAddress, 5000, bytes_of("e"))), "Network queue full");
    ASSERT_EQ(exchange().size(), 1u);

    auto sent = exchange({ arp_reply_to_us(PeerMac, PeerAddress) }, 300);
    ASSERT_EQ(sent.size(), 4u);
    for (size_t i = 0; i < sent.size(); ++i) {
        SentIpv4 datagram(sent[i]);
        EXPECT_EQ(datagram.destination_mac(), PeerMac);
        EXPECT_EQ(datagram.udp_data(), Bytes { static_cast<u8>('a' + i) });
    }
    // No more requests once the answer is in.
    EXPECT_TRUE(exchange({}, 5 * Arp::RetryIntervalMs).empty());
}

TEST_F(Network, ArpWaitsForAFewNextHopsAtOnce)
{
    ASSERT_FALSE(stack.open_udp_port(4000).is_error());
    for (u8 host = 10; host < 10 + Arp::MaxResolutions; ++host)
        ASSERT_FALSE(stack.send_udp(4000, Ipv4Address(192, 0, 2, host), 7, bytes_of("x")).is_error());
    EXPECT_EQ(error_text(stack.send_udp(4000, Ipv4Address(192, 0, 2, 99), 7, bytes_of("x"))), "Network queue full");
    EXPECT_EQ(exchange().size(), Arp::MaxResolutions);
}

TEST_F(Network, ArpEntriesExpire)
{
    introduce(PeerMac, PeerAddress);
    ASSERT_FALSE(stack.open_udp_port(4000).is_error());
    now += Arp::EntryLifetimeMs - 1;
    ASSERT_FALSE(stack.send_udp(4000, PeerAddress, 7, bytes_of("x")).is_error());
    auto sent = exchange();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(get16(sent[0], 12), TypeIpv4);

    now += 1;
    stack.poll(now);
    ASSERT_FALSE(stack.send_udp(4000, PeerAddress, 7, bytes_of("x")).is_error());
    sent = exchange();
    ASSERT_EQ(sent.size(), 1u);
    expect_arp_request_for(sent[0], PeerAddress);
}

TEST_F(Network, TheArpCacheIsBoundedAndReplacesItsOldestEntry)
{
    auto host_mac = [](u8 host) { return MacAddress { 0x02, 0, 0, 0, 1, host }; };
    for (u8 host = 10; host < 10 + Arp::CacheSize + 1; ++host) {
        now += 10;
        introduce(host_mac(host), Ipv4Address(192, 0, 2, host));
    }
    EXPECT_EQ(stack.arp_entries().size(), Arp::CacheSize);

    // The first learned made room for the last; the second is still known.
    ASSERT_FALSE(stack.open_udp_port(4000).is_error());
    ASSERT_FALSE(stack.send_udp(4000, Ipv4Address(192, 0, 2, 11), 7, bytes_of("x")).is_error());
    ASSERT_FALSE(stack.send_udp(4000, Ipv4Address(192, 0, 2, 10), 7, bytes_of("x")).is_error());
    auto sent = exchange();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(get_mac(sent[0], 0), host_mac(11));
    expect_arp_request_for(sent[1], Ipv4Address(192, 0, 2, 10));
}

TEST_F(Network, EchoRequestsToOurAddressAreAnsweredWithTheirIdentifierSequenceAndData)
{
    introduce(PeerMac, PeerAddress);
    Bytes data;
    for (int i = 0; i < 57; ++i) // an odd length exercises the checksum's padding
        data.push_back(static_cast<u8>(i * 37));
    auto sent = exchange(
        { ipv4_frame_to_us(ipv4_packet(PeerAddress, OurAddress, ProtocolIcmp, icmp_echo(8, 0xBEEF, 0x0102, data))) });
    ASSERT_EQ(sent.size(), 1u);
    SentIpv4 reply(sent[0]);
    EXPECT_EQ(reply.destination_mac(), PeerMac);
    EXPECT_EQ(get_mac(sent[0], 6), OurMac);
    EXPECT_EQ(reply.type(), TypeIpv4);
    EXPECT_EQ(reply.protocol(), ProtocolIcmp);
    EXPECT_EQ(reply.ttl(), 64);
    EXPECT_EQ(reply.header_size, 20u);
    EXPECT_TRUE(reply.header_checksum_right());
    EXPECT_EQ(reply.source(), OurAddress);
    EXPECT_EQ(reply.destination(), PeerAddress);
    EXPECT_EQ(reply.payload, icmp_echo(0, 0xBEEF, 0x0102, data));
    // The fragment field: "don't fragment", no offset.
    EXPECT_EQ(get16(reply.header, 6), 0x4000);

    // A broadcast echo, one with a bad checksum, and ICMP other than echo
    // go unanswered.
    auto broken = icmp_echo(8, 1, 1, data);
    broken[9] ^= 1;
    auto unreachable = icmp_echo(3, 0, 0, {});
    sent = exchange({
        ethernet_frame(Broadcast, PeerMac, TypeIpv4,
            ipv4_packet(PeerAddress, Ipv4Address(192, 0, 2, 127), ProtocolIcmp, icmp_echo(8, 1, 1, data))),
        ipv4_frame_to_us(ipv4_packet(PeerAddress, OurAddress, ProtocolIcmp, broken)),
        ipv4_frame_to_us(ipv4_packet(PeerAddress, OurAddress, ProtocolIcmp, unreachable)),
        ipv4_frame_to_us(ipv4_packet(PeerAddress, OurAddress, ProtocolIcmp, slice(icmp_echo(8, 1, 1, {}), 0, 7))),
    });
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(stack.counters().frames_dropped, 4u);
}

TEST_F(Network, OwnPingsReportTheirRepliesWithTheRoundTripTime)
{
    introduce(PeerMac, PeerAddress);
    ASSERT_FALSE(stack.send_ping(PeerAddress, 1, now).is_error());
    auto sent = exchange();
    ASSERT_EQ(sent.size(), 1u);
    SentIpv4 request(sent[0]);
    EXPECT_TRUE(request.header_checksum_right());
    EXPECT_EQ(request.destination(), PeerAddress);
    EXPECT_EQ(request.protocol(), ProtocolIcmp);
    ASSERT_GE(request.payload.size(), 8u);
    EXPECT_EQ(request.payload[0], 8);
    EXPECT_EQ(internet_checksum(request.payload), 0);
    u16 identifier = get16(request.payload, 4);
    EXPECT_EQ(get16(request.payload, 6), 1);
    auto data = slice(request.payload, 8, request.payload.size() - 8);
    EXPECT_FALSE(stack.take_ping_reply());

    auto reply_frame
        = [&](u16 id, u16 sequence, Bytes const& echoed, Ipv4Address from = PeerAddress, Ipv4Address to = OurAddress) {
              return ipv4_frame_to_us(ipv4_packet(from, to, ProtocolIcmp, icmp_echo(0, id, sequence, echoed)));
          };
    Bytes altered = data;
    altered[0] ^= 0xFF;
    // Another program's reply, one for a request never sent, one from
    // another machine, one whose data came back changed and one sent to
    // another address are not ours.
    exchange({ reply_frame(identifier + 1, 1, data), reply_frame(identifier, 2, data),
                 reply_frame(identifier, 1, data, GatewayAddress), reply_frame(identifier, 1, altered),
                 reply_frame(identifier, 1, data, PeerAddress, Ipv4Address(192, 0, 2, 6)) },
        7);
    EXPECT_FALSE(stack.take_ping_reply());
    EXPECT_EQ(stack.counters().frames_dropped, 5u);

    exchange({ reply_frame(identifier, 1, data) }, 16);
    auto reply = stack.take_ping_reply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->from, PeerAddress);
    EXPECT_EQ(reply->sequence, 1);
    EXPECT_EQ(reply->round_trip_ms, 23u);
    EXPECT_FALSE(stack.take_ping_reply());
    // A duplicate of an answered request is not reported twice.
    exchange({ reply_frame(identifier, 1, data) }, 1);
    EXPECT_FALSE(stack.take_ping_reply());
}

TEST_F(Network, UdpDatagramsMakeTheRoundTripWithRightChecksums)
{
    introduce(PeerMac, PeerAddress);
    ASSERT_FALSE(stack.open_udp_port(7).is_error());
    ASSERT_TRUE(stack.receive_udp(7).value() == std::nullopt);

    // One with a checksum, one without (0: the sender left it out).
    exchange({ udp_frame_to_us(40000, 7, bytes_of("ping?")), udp_frame_to_us(40001, 7, bytes_of("plain"), false) });
    auto first = stack.receive_udp(7).release_value();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->source, PeerAddress);
    EXPECT_EQ(first->source_port, 40000);
    EXPECT_EQ(Bytes(first->data.begin(), first->data.end()), bytes_of("ping?"));
    auto second = stack.receive_udp(7).release_value();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->source_port, 40001);
    EXPECT_EQ(Bytes(second->data.begin(), second->data.end()), bytes_of("plain"));

    for (auto const& answer : { bytes_of("pong!"), bytes_of("odd"), Bytes {} }) {
        ASSERT_FALSE(stack.send_udp(7, PeerAddress, 40000, answer).is_error());
        auto sent = exchange();
        ASSERT_EQ(sent.size(), 1u);
        SentIpv4 datagram(sent[0]);
        EXPECT_EQ(datagram.destination_mac(), PeerMac);
        EXPECT_TRUE(datagram.header_checksum_right());
        EXPECT_EQ(datagram.protocol(), ProtocolUdp);
        EXPECT_EQ(datagram.source(), OurAddress);
        EXPECT_EQ(datagram.destination(), PeerAddress);
        EXPECT_EQ(get16(datagram.payload, 0), 7);
        EXPECT_EQ(get16(datagram.payload, 2), 40000);
        EXPECT_EQ(get16(datagram.payload, 4), 8 + answer.size());
        EXPECT_NE(get16(datagram.payload, 6), 0) << "the checksum is always sent";
        EXPECT_TRUE(datagram.udp_checksum_right());
        EXPECT_EQ(datagram.udp_data(), answer);
    }
}

TEST_F(Network, PaddingAfterADatagramIsNotPartOfIt)
{
    ASSERT_FALSE(stack.open_udp_port(7).is_error());
    auto frame = udp_frame_to_us(1234, 7, bytes_of("hi"));
    frame.resize(60, 0xAA); // the shortest Ethernet frame, padded by the sender's card
    exchange({ frame });
    auto datagram = stack.receive_udp(7).release_value();
    ASSERT_TRUE(datagram);
    EXPECT_EQ(Bytes(datagram->data.begin(), datagram->data.end()), bytes_of("hi"));
}

TEST_F(Network, MalformedOrForeignDatagramsAreDroppedAndCounted)
{
    ASSERT_FALSE(stack.open_udp_port(7).is_error());
    auto segment = udp_segment(PeerAddress, OurAddress, 1234, 7, bytes_of("data"));
    auto good = ipv4_packet(PeerAddress, OurAddress, ProtocolUdp, segment);
    // The UDP length is checked on its own, not only through a checksum it
    // would break: those cases change a datagram sent without one.
    auto plain = ipv4_packet(
        PeerAddress, OurAddress, ProtocolUdp, udp_segment(PeerAddress, OurAddress, 1234, 7, bytes_of("data"), false));
    auto changed = [](Bytes packet, auto change) {
        change(packet);
        return ipv4_frame_to_us(packet);
    };
    auto with = [&](auto change) { return changed(good, change); };
    auto with_plain = [&](auto change) { return changed(plain, change); };
    auto resum = [](Bytes& packet) {
        packet[10] = packet[11] = 0;
        u16 sum = internet_checksum(slice(packet, 0, 20));
        packet[10] = static_cast<u8>(sum >> 8);
        packet[11] = static_cast<u8>(sum);
    };
    struct Case {
        char const* what;
        Bytes frame;
    };
    std::vector<Case> cases {
        { "bad header checksum", with([](Bytes& p) { p[10] ^= 1; }) },
        { "version 6", with([&](Bytes& p) {
             p[0] = 0x65;
             resum(p);
         }) },
        { "header length under 20", with([&](Bytes& p) {
             p[0] = 0x44;
             resum(p);
         }) },
        { "header longer than the packet", with([&](Bytes& p) {
             p[0] = 0x4F;
             resum(p);
         }) },
        { "total length past the frame", with([&](Bytes& p) {
             p[3] += 1;
             resum(p);
         }) },
        { "total length inside the header", with([&](Bytes& p) {
             p[2] = 0;
             p[3] = 19;
             resum(p);
         }) },
        { "truncated header", with([](Bytes& p) { p.resize(19); }) },
        { "more fragments", with([&](Bytes& p) {
             p[6] = 0x20;
             resum(p);
         }) },
        { "fragment offset", with([&](Bytes& p) {
             p[7] = 0x01;
             resum(p);
         }) },
        { "unknown protocol", with([&](Bytes& p) {
             p[9] = 6;
             resum(p);
         }) },
        { "UDP checksum wrong", with([](Bytes& p) { p[20 + 8] ^= 0x20; }) },
        { "UDP length past the packet", with_plain([](Bytes& p) { p[20 + 5] += 1; }) },
        { "UDP length under 8", with_plain([](Bytes& p) {
             p[20 + 4] = 0;
             p[20 + 5] = 7;
         }) },
        { "UDP header truncated", with_plain([&](Bytes& p) {
             p.resize(27);
             p[3] = 27;
             resum(p);
         }) },
        { "closed port", udp_frame_to_us(1234, 8, bytes_of("data")) },
        { "for another address",
            ipv4_frame_to_us(ipv4_packet(PeerAddress, Ipv4Address(192, 0, 2, 6), ProtocolUdp,
                udp_segment(PeerAddress, Ipv4Address(192, 0, 2, 6), 1234, 7, bytes_of("data")))) },
        { "from the broadcast address",
            ipv4_frame_to_us(ipv4_packet(Ipv4Address::broadcast(), OurAddress, ProtocolUdp,
                udp_segment(Ipv4Address::broadcast(), OurAddress, 1234, 7, bytes_of("data")))) },
        { "an option running past the header",
            ipv4_frame_to_us(ipv4_packet(
                PeerAddress, OurAddress, ProtocolUdp, segment, { .options = { 0x07, 0x09, 0x04, 0x00 } })) },
        { "an option of length 1",
            ipv4_frame_to_us(ipv4_packet(
                PeerAddress, OurAddress, ProtocolUdp, segment, { .options = { 0x01, 0x44, 0x01, 0x00 } })) },
    };
    for (auto const& each : cases) {
        u32 dropped = stack.counters().frames_dropped;
        exchange({ each.frame });
        EXPECT_EQ(stack.counters().frames_dropped, dropped + 1) << each.what;
        EXPECT_TRUE(stack.receive_udp(7).value() == std::nullopt) << each.what;
    }

    // The unchanged datagram, and one with well-formed options (a no-op,
    // a record-route with room for nothing, the end), do arrive.
    auto with_options = ipv4_packet(PeerAddress, OurAddress, ProtocolUdp, segment,
        { .options = { 0x01, 0x07, 0x03, 0x04, 0x00, 0x00, 0x00, 0x00 } });
    exchange({ ipv4_frame_to_us(good), ipv4_frame_to_us(plain), ipv4_frame_to_us(with_options) });
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(stack.receive_udp(7).value());
    EXPECT_EQ(stack.counters().frames_dropped, cases.size());
}

TEST_F(Network, APortQueueIsBoundedAndDropsWhatArrivesWhenFull)
{
    ASSERT_FALSE(stack.open_udp_port(7).is_error());
    std::vector<Bytes> frames;
    for (u8 i = 0; i < UdpPorts::QueueLength + 2; ++i)
        frames.push_back(udp_frame_to_us(1000, 7, Bytes { i }));
    exchange(frames);
    EXPECT_EQ(stack.counters().port_queue_overflows, 2u);
    EXPECT_EQ(stack.counters().frames_dropped, 2u);
    for (u8 i = 0; i < UdpPorts::QueueLength; ++i) {
        auto datagram = stack.receive_udp(7).release_value();
        ASSERT_TRUE(datagram);
        EXPECT_EQ(datagram->data[0], i);
    }
    EXPECT_TRUE(stack.receive_udp(7).value() == std::nullopt);
}

TEST_F(Network, PortsOpenAtOnceAreBounded)
{
    for (u16 port = 1; port <= UdpPorts::MaxOpenPorts; ++port)
        ASSERT_FALSE(stack.open_udp_port(port).is_error());
    EXPECT_EQ(error_text(stack.open_udp_port(100)), "Too many open ports");
    stack.close_udp_port(3);
    EXPECT_EQ(error_text(stack.open_udp_port(1)), "Port already in use");
    EXPECT_EQ(error_text(stack.open_udp_port(0)), "Invalid port");
    EXPECT_EQ(error_text(stack.open_udp_port(100)), "");

    // Closing drops what waited; the port reads as closed.
    exchange({ udp_frame_to_us(1, 100, bytes_of("x")) });
    stack.close_udp_port(100);
    EXPECT_EQ(error_text(stack.receive_udp(100)), "Port not open");
    EXPECT_EQ(error_text(stack.send_udp(100, PeerAddress, 7, bytes_of("x"))), "Port not open");
    ASSERT_FALSE(stack.open_udp_port(100).is_error());
    EXPECT_TRUE(stack.receive_udp(100).value() == std::nullopt);
}

TEST_F(Network, TheOutgoingQueueIsBoundedAndKeepsWhatTheCardRefuses)
{
    introduce(PeerMac, PeerAddress);
    ASSERT_FALSE(stack.open_udp_port(7).is_error());
    card.refuse_sends = true;
    for (u8 i = 0; i < OutgoingQueue::Capacity; ++i)
        ASSERT_FALSE(stack.send_udp(7, PeerAddress, 9, Bytes { i }).is_error());
    EXPECT_EQ(error_text(stack.send_udp(7, PeerAddress, 9, bytes_of("x"))), "Network queue full");
    EXPECT_EQ(error_text(stack.send_ping(PeerAddress, 1, now)), "Network queue full");
    exchange({}, 1);
    exchange({}, 1);
    EXPECT_EQ(stack.counters().send_failures, 2u);
    EXPECT_EQ(stack.queued_frames(), OutgoingQueue::Capacity);

    card.refuse_sends = false;
    auto sent = exchange({}, 1);
    ASSERT_EQ(sent.size(), OutgoingQueue::Capacity);
    for (u8 i = 0; i < OutgoingQueue::Capacity; ++i)
        EXPECT_EQ(SentIpv4(sent[i]).udp_data(), Bytes { i });
    EXPECT_EQ(stack.queued_frames(), 0u);
    EXPECT_FALSE(stack.send_udp(7, PeerAddress, 9, bytes_of("x")).is_error());
}

TEST_F(Network, DatagramsOffTheSubnetGoThroughTheGateway)
{
    ASSERT_FALSE(stack.open_udp_port(7).is_error());
    ASSERT_FALSE(stack.send_udp(7, FarAddress, 9, bytes_of("far")).is_error());
    auto sent = exchange();
    ASSERT_EQ(sent.size(), 1u);
    expect_arp_request_for(sent[0], GatewayAddress);

    sent = exchange({ arp_reply_to_us(GatewayMac, GatewayAddress) });
    ASSERT_EQ(sent.size(), 1u);
    SentIpv4 datagram(sent[0]);
    EXPECT_EQ(datagram.destination_mac(), GatewayMac);
    EXPECT_EQ(datagram.destination(), FarAddress);
    EXPECT_TRUE(datagram.udp_checksum_right());

    // Broadcasts need no ARP: the whole wire gets them.
    for (auto broadcast : { Ipv4Address::broadcast(), Ipv4Address(192, 0, 2, 127) }) {
        ASSERT_FALSE(stack.send_udp(7, broadcast, 9, bytes_of("all")).is_error());
        sent = exchange();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(SentIpv4(sent[0]).destination_mac(), Broadcast);
        EXPECT_EQ(SentIpv4(sent[0]).destination(), broadcast);
    }
}

TEST_F(Network, SendingFailsWithoutARouteAnAddressOrRoom)
{
    ASSERT_FALSE(stack.open_udp_port(7).is_error());
    EXPECT_EQ(error_text(stack.send_udp(7, PeerAddress, 9, Bytes(Udp::MaxDataSize + 1))), "Datagram too large");
    EXPECT_EQ(error_text(stack.send_udp(7, PeerAddress, 9, Bytes(Udp::MaxDataSize))), "");
    EXPECT_EQ(error_text(stack.send_udp(7, PeerAddress, 0, bytes_of("x"))), "Invalid port");
    EXPECT_EQ(error_text(stack.send_udp(7, Ipv4Address(), 9, bytes_of("x"))), "Invalid destination address");
    EXPECT_EQ(
        error_text(stack.send_udp(7, Ipv4Address(224, 0, 0, 1), 9, bytes_of("x"))), "Invalid destination address");
    EXPECT_EQ(error_text(stack.send_ping(OurAddress, 1, now)), "Cannot send to own address");

    stack.configure(Ipv4Subnet { OurAddress, OurPrefix }, Ipv4Address());
    EXPECT_EQ(error_text(stack.send_udp(7, FarAddress, 9, bytes_of("x"))), "No route to host");
    EXPECT_EQ(error_text(stack.send_udp(7, PeerAddress, 9, bytes_of("x"))), "");

    stack.unconfigure();
    EXPECT_EQ(error_text(stack.send_udp(7, PeerAddress, 9, bytes_of("x"))), "No network address");
    EXPECT_EQ(error_text(stack.send_udp(7, Ipv4Address::broadcast(), 9, bytes_of("x"))), "No network address");
    // Without an address nothing is for us but broadcasts.
    exchange({ udp_frame_to_us(1, 7, bytes_of("x")) });
    EXPECT_TRUE(stack.receive_udp(7).value() == std::nullopt);
}

TEST_F(Network, AFloodIsTakenInAPollAtATime)
{
    ASSERT_FALSE(stack.open_udp_port(7).is_error());
    for (size_t i = 0; i < NetworkStack::MaxFramesPerPoll + 5; ++i)
        card.incoming.push_back(udp_frame_to_us(1, 8, bytes_of("x")));
    stack.poll(now);
    EXPECT_EQ(stack.counters().frames_received, NetworkStack::MaxFramesPerPoll);
    EXPECT_EQ(card.incoming.size(), 5u);
    stack.poll(now);
    EXPECT_EQ(stack.counters().frames_received, NetworkStack::MaxFramesPerPoll + 5);
}

TEST(NetworkWithoutCard, ReportsItHasNoneAndFailsEverySend)
{
    NetworkStack stack(nullptr);
    EXPECT_FALSE(stack.has_card());
    EXPECT_FALSE(stack.link_up());
    EXPECT_EQ(stack.mac_address(), MacAddress {});
    stack.configure(Ipv4Subnet { OurAddress, OurPrefix }, GatewayAddress);
    stack.poll(100);
    ASSERT_FALSE(stack.open_udp_port(7).is_error());
    EXPECT_EQ(error_text(stack.send_udp(7, PeerAddress, 9, bytes_of("x"))), "No network card");
    EXPECT_EQ(error_text(stack.send_ping(PeerAddress, 1, 100)), "No network card");
    EXPECT_EQ(error_text(stack.start_dhcp()), "No network card");
    EXPECT_EQ(stack.dhcp_state(), DhcpState::Off);
    EXPECT_EQ(stack.counters().frames_received, 0u);
}
