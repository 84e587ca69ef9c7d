#include "kernel/Commands.h"
#include "tests/unit/NetworkTestSupport.h"
#include "tests/unit/ShellTestSupport.h"

#include <cstdio>
#include <functional>
#include <numeric>

namespace {

constexpr u8 OnBlue = 0x9F;
constexpr char const* NetUsage = "USAGE: net [<address>/<prefix length> [<gateway>]]";

// The shell with the commands' kernel, its screen read back line by line.
struct NetworkCommands : ::testing::Test {
    std::string run(std::string const& line)
    {
        Console::clear();
        auto result = run_line(kernel, String(line.c_str()));
        return result.is_error() ? ascii(result.error().message()) : std::string();
    }
    // The rows the command wrote, up to the first empty one.
    std::vector<std::string> lines()
    {
        std::vector<std::string> rows;
        for (int y = 0; y < 25 && !machine.line(y).empty(); ++y)
            rows.push_back(machine.line(y));
        return rows;
    }
    void attach_card()
    {
        kernel.network().set_card(&card);
        ASSERT_EQ(run("net 192.0.2.5/25 192.0.2.1"), "");
    }

    TestMachine machine;
    Kernel kernel { shell_commands() };
    ScriptedNetworkCard card { OurMac };
};

// The machine at PeerAddress, as the card's on_send: it answers ARP for its
// address and the echo requests `answers` lets through, `copies` times each.
struct Responder {
    explicit Responder(ScriptedNetworkCard& card)
        : card(card)
    {
        card.on_send = [this](Bytes const& frame) { answer(frame); };
    }
    ~Responder() { card.on_send = nullptr; }

    void answer(Bytes const& frame)
    {
        if (get16(frame, 12) == TypeArp && get16(frame, 20) == 1 && get32(frame, 38) == PeerAddress.value()) {
            card.incoming.push_back(arp_reply_to_us(PeerMac, PeerAddress));
            return;
        }
        if (get16(frame, 12) != TypeIpv4)
            return;
        SentIpv4 packet(frame);
        if (packet.protocol() != ProtocolIcmp || packet.payload.at(0) != 8)
            return;
        u16 identifier = get16(packet.payload, 4);
        u16 sequence = get16(packet.payload, 6);
        requests.push_back(sequence);
        if (!answers(sequence))
            return;
        auto data = slice(packet.payload, 8, packet.payload.size() - 8);
        for (int i = 0; i < copies; ++i) {
            card.incoming.push_back(ipv4_frame_to_us(ipv4_packet(
                packet.destination(), packet.source(), ProtocolIcmp, icmp_echo(0, identifier, sequence, data))));
        }
    }

    ScriptedNetworkCard& card;
    std::function<bool(u16)> answers = [](u16) { return true; };
    int copies { 1 };
    std::vector<u16> requests;
};

// A "Reply from ..." line taken apart: its sequence number and time.
struct ReplyLine {
    int sequence { 0 };
    int ms { -1 };
};
std::optional<ReplyLine> parse_reply(std::string const& line)
{
    ReplyLine reply;
    char end = 0;
    if (std::sscanf(line.c_str(), "Reply from 192.0.2.9: seq=%d time=%d m%c", &reply.sequence, &reply.ms, &end) != 3
        || end != 's')
        return {};
    return reply;
}

}

TEST_F(NetworkCommands, NetWithoutACardSaysSoAndCannotSetAnAddress)
{
    EXPECT_EQ(run("net"), "");
    EXPECT_EQ(lines(), std::vector<std::string> { "Card: none" });
    EXPECT_EQ(run("NET   "), "");
    EXPECT_EQ(lines(), std::vector<std::string> { "Card: none" });

    EXPECT_EQ(run("net 192.0.2.9/24 192.0.2.1"), "No network card");
    EXPECT_EQ(run("net 192.0.2.9/24"), "No network card");
    EXPECT_FALSE(kernel.network().subnet());
}

TEST_F(NetworkCommands, NetShowsTheCardItsAddressAndItsCounters)
{
    kernel.network().set_card(&card);
    EXPECT_EQ(run("net"), "");
    EXPECT_EQ(lines(),
        (std::vector<std::string> { "Card: 52:54:00:12:34:56, link up", "Address: none", "Gateway: none",
            "Frames: 0 received, 0 sent, 0 dropped" }));

    // Set by hand: the netmask line joins, worked out from the prefix.
    EXPECT_EQ(run("net 192.0.2.200/26 192.0.2.193"), "");
    EXPECT_TRUE(lines().empty());
    card.link = false;
    run("net");
    EXPECT_EQ(lines(),
        (std::vector<std::string> { "Card: 52:54:00:12:34:56, link down", "Address: 192.0.2.200/26",
            "Netmask: 255.255.255.192", "Gateway: 192.0.2.193", "Frames: 0 received, 0 sent, 0 dropped" }));

    // Without a gateway; a frame answered and one thrown away.
    EXPECT_EQ(run("net 192.0.2.5/25"), "");
    card.incoming.push_back(arp_request_to_us(PeerMac, PeerAddress));
    card.incoming.push_back(udp_frame_to_us(4000, 4001, bytes_of("nobody listens")));
    kernel.network().poll(10);
    run("net");
    EXPECT_EQ(lines(),
        (std::vector<std::string> { "Card: 52:54:00:12:34:56, link down", "Address: 192.0.2.5/25",
            "Netmask: 255.255.255.128", "Gateway: none", "Frames: 2 received, 1 sent, 1 dropped" }));
}

TEST_F(NetworkCommands, NetTellsHowDhcpIsGoingUntilAnAddressIsSetByHand)
{
    kernel.network().set_card(&card);
    ASSERT_FALSE(kernel.network().start_dhcp().is_error());
    kernel.network().poll(100);
    run("net");
    EXPECT_EQ(lines().at(1), "Address: none (asking DHCP)");
    EXPECT_EQ(lines().at(2), "Gateway: none");

    kernel.network().poll(100 + DhcpClient::TimeoutMs + 1);
    run("net");
    EXPECT_EQ(lines().at(1), "Address: none (no DHCP server answered)");

    EXPECT_EQ(run("net 192.0.2.5/25 192.0.2.1"), "");
    run("net");
    EXPECT_EQ(lines().at(1), "Address: 192.0.2.5/25");
    EXPECT_EQ(lines().at(3), "Gateway: 192.0.2.1");
}

TEST_F(NetworkCommands, NetRejectsMalformedAddressesAndGatewaysOffTheNetwork)
{
    kernel.network().set_card(&card);
    ASSERT_EQ(run("net 192.0.2.5/25 192.0.2.1"), "");
    for (char const* line : { "net 192.0.2.9", "net 192.0.2.9/33", "net 192.0.2/24", "net 192.0.2.256/24",
             "net 192.0.2.9/24 gateway", "net 192.0.2.9/24 192.0.2.1 192.0.2.2", "net /24", "net 192.0.2.9/" }) {
        EXPECT_EQ(run(line), "") << line;
        EXPECT_EQ(lines(), std::vector<std::string> { NetUsage }) << line;
        EXPECT_EQ(machine.attribute(0, 0), OnBlue) << line;
    }
    EXPECT_EQ(run("net 192.0.2.9/25 192.0.2.129"), "Gateway not on the network");
    EXPECT_EQ(run("net 192.0.2.9/24 10.0.0.1"), "Gateway not on the network");
    // None of it changed the address.
    ASSERT_TRUE(kernel.network().subnet());
    EXPECT_EQ(ascii(kernel.network().subnet()->to_string()), "192.0.2.5/25");
    EXPECT_EQ(kernel.network().gateway(), GatewayAddress);
}

TEST_F(NetworkCommands, PingPrintsFourRepliesAndTheirAverage)
{
    attach_card();
    Responder peer(card);
    peer.copies = 2; // a duplicate reply counts once
    EXPECT_EQ(run("ping 192.0.2.9"), "");
    auto shown = lines();
    ASSERT_EQ(shown.size(), 5u) << machine.screen();
    std::vector<int> times;
    for (int i = 0; i < 4; ++i) {
        auto reply = parse_reply(shown[i]);
        ASSERT_TRUE(reply) << shown[i];
        EXPECT_EQ(reply->sequence, i + 1);
        EXPECT_GE(reply->ms, 0);
        EXPECT_LT(reply->ms, 1000);
        times.push_back(reply->ms);
    }
    int average = std::accumulate(times.begin(), times.end(), 0) / 4;
    EXPECT_EQ(shown[4], "4 sent, 4 received, 0% lost, average " + std::to_string(average) + " ms");
    EXPECT_EQ(peer.requests, (std::vector<u16> { 1, 2, 3, 4 }));
    // The peer's address was asked for once and then remembered.
    EXPECT_EQ(
        std::count_if(card.sent.begin(), card.sent.end(), [](Bytes const& f) { return get16(f, 12) == TypeArp; }), 1);
}

TEST_F(NetworkCommands, PingCountsTheRequestsThatTimedOut)
{
    attach_card();
    Responder peer(card);
    peer.answers = [](u16 sequence) { return sequence == 2 || sequence == 3; };
    EXPECT_EQ(run("ping 192.0.2.9"), "");
    auto shown = lines();
    ASSERT_EQ(shown.size(), 5u) << machine.screen();
    EXPECT_EQ(shown[0], "Request 1 timed out");
    auto second = parse_reply(shown[1]);
    auto third = parse_reply(shown[2]);
    ASSERT_TRUE(second && third) << machine.screen();
    EXPECT_EQ(second->sequence, 2);
    EXPECT_EQ(third->sequence, 3);
    EXPECT_EQ(shown[3], "Request 4 timed out");
    EXPECT_EQ(
        shown[4], "4 sent, 2 received, 50% lost, average " + std::to_string((second->ms + third->ms) / 2) + " ms");

    // A machine that never answers ARP: every request times out, and a
    // summary without replies has no average.
    card.on_send = nullptr;
    EXPECT_EQ(run("ping 192.0.2.99"), "");
    EXPECT_EQ(lines(),
        (std::vector<std::string> { "Request 1 timed out", "Request 2 timed out", "Request 3 timed out",
            "Request 4 timed out", "4 sent, 0 received, 100% lost" }));
}

TEST_F(NetworkCommands, PingWaitsASecondBetweenRequestsAndTakesNoLateReply)
{
    attach_card();
    Responder peer(card);
    // Each request is answered only when the next one is sent: always too
    // late for its own second.
    peer.answers = [](u16) { return false; };
    std::vector<u32> sent_at;
    std::vector<Bytes> held;
    card.on_send = [&](Bytes const& frame) {
        peer.answer(frame);
        if (peer.requests.size() == sent_at.size())
            return;
        sent_at.push_back(Time::milliseconds_since_start());
        SentIpv4 packet(frame);
        for (auto const& late : held)
            card.incoming.push_back(late);
        held.clear();
        auto data = slice(packet.payload, 8, packet.payload.size() - 8);
        held.push_back(ipv4_frame_to_us(ipv4_packet(PeerAddress, OurAddress, ProtocolIcmp,
            icmp_echo(0, get16(packet.payload, 4), get16(packet.payload, 6), data))));
    };
    EXPECT_EQ(run("ping 192.0.2.9"), "");
    EXPECT_EQ(lines().back(), "4 sent, 0 received, 100% lost") << machine.screen();
    ASSERT_EQ(sent_at.size(), 4u);
    // The first request waited for ARP on its way out; the others leave as
    // soon as they are made, so their gaps are those between the requests.
    for (size_t i = 2; i < sent_at.size(); ++i) {
        EXPECT_GE(sent_at[i] - sent_at[i - 1], 1000u);
        EXPECT_LT(sent_at[i] - sent_at[i - 1], 1500u);
    }
}

TEST_F(NetworkCommands, PingSendsEachRequestBeforeItWaitsForTheReply)
{
    attach_card();
    Responder peer(card);
    // Time passes only in the waits: a request that leaves after one of
    // them has that much time added to its round trip.
    std::vector<u64> halts_at_send;
    card.on_send = [&](Bytes const& frame) {
        halts_at_send.push_back(Sim::halt_count());
        peer.answer(frame);
    };
    // The peer unknown: its ARP request goes before any wait.
    u64 halts_before = Sim::halt_count();
    EXPECT_EQ(run("ping 192.0.2.9"), "");
    ASSERT_EQ(halts_at_send.size(), 5u);
    EXPECT_EQ(halts_at_send[0], halts_before);
    // The peer known: so does the first echo request.
    halts_at_send.clear();
    halts_before = Sim::halt_count();
    EXPECT_EQ(run("ping 192.0.2.9"), "");
    ASSERT_EQ(halts_at_send.size(), 4u);
    EXPECT_EQ(halts_at_send[0], halts_before);
    EXPECT_EQ(peer.requests.size(), 8u);
}

TEST_F(NetworkCommands, EscapeStopsPingAndItsSummaryCountsWhatWasSent)
{
    attach_card();
    Responder peer(card);
    machine.type("x");
    machine.press(TestMachine::Escape);
    Sim::on_timer_read([&] {
        if (machine.line(1).starts_with("Reply from 192.0.2.9: seq=2"))
            machine.deliver_all();
    });
    EXPECT_EQ(run("ping 192.0.2.9"), "");
    Sim::on_timer_read(nullptr);
    auto shown = lines();
    ASSERT_EQ(shown.size(), 3u) << machine.screen();
    auto first = parse_reply(shown[0]);
    auto second = parse_reply(shown[1]);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(shown[2], "2 sent, 2 received, 0% lost, average " + std::to_string((first->ms + second->ms) / 2) + " ms");
    EXPECT_EQ(peer.requests, (std::vector<u16> { 1, 2 }));

    // The keys typed during the ping were its own: the prompt gets none.
    machine.type("ok\n");
    auto line = Console::read_line();
    ASSERT_FALSE(line.is_error());
    EXPECT_EQ(ascii(line.value()), "ok");

    // Escape while the first request waits: one sent, nothing received.
    machine.press(TestMachine::Escape);
    size_t before = peer.requests.size();
    Sim::on_timer_read([&] {
        if (peer.requests.size() > before)
            machine.deliver_all();
    });
    peer.answers = [](u16) { return false; };
    EXPECT_EQ(run("ping 192.0.2.9"), "");
    Sim::on_timer_read(nullptr);
    EXPECT_EQ(lines(), (std::vector<std::string> { "1 sent, 0 received, 100% lost" }));
}

TEST_F(NetworkCommands, PingNeedsAnAddressACardAndANetwork)
{
    for (char const* line :
        { "ping", "ping   ", "ping 192.0.2", "ping 192.0.2.9.1", "ping host", "ping 192.0.2.300" }) {
        EXPECT_EQ(run(line), "") << line;
        EXPECT_EQ(lines(), std::vector<std::string> { "USAGE: ping <address>" }) << line;
        EXPECT_EQ(machine.attribute(0, 0), OnBlue) << line;
    }
    EXPECT_EQ(run("ping 192.0.2.9"), "No network card");
    kernel.network().set_card(&card);
    EXPECT_EQ(run("ping 192.0.2.9"), "No network address");
    EXPECT_EQ(run("net 192.0.2.5/25"), "");
    EXPECT_EQ(run("ping 192.0.2.200"), "No route to host");
    EXPECT_TRUE(card.sent.empty());
}
