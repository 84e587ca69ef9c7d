#include "hal/MzExecutable.h"
#include "hal/Time.h"
#include "tests/unit/NetworkTestSupport.h"
#include "tests/unit/ProgramTestSupport.h"
#include "tests/unit/ShellTestSupport.h"

#include <cstring>

namespace {

// Where the tests' programs keep a datagram's description and its bytes:
// the program asks for 8 KiB of zeroed memory after its one-page image.
constexpr u32 Description = Base + 0x100;
constexpr u32 Buffer = Base + 0x1000;
constexpr u16 ExtraParagraphs = 0x200;
constexpr u32 PagesEnd = ImageEnd + 0x2000;

constexpr u32 Open = TESSARY_CALL_UDP_OPEN;
constexpr u32 Send = TESSARY_CALL_UDP_SEND;
constexpr u32 Receive = TESSARY_CALL_UDP_RECEIVE;
constexpr u32 Close = TESSARY_CALL_UDP_CLOSE;

tessary_datagram to_peer(u16 port, u32 data, u32 length) { return { { 192, 0, 2, 9 }, port, 0, data, length }; }

void plant_description(u32 address, tessary_datagram const& datagram)
{
    plant(address, std::string(reinterpret_cast<char const*>(&datagram), sizeof datagram));
}

tessary_datagram description_at(u32 address)
{
    tessary_datagram datagram {};
    std::string bytes = stored(address, sizeof datagram);
    std::memcpy(&datagram, bytes.data(), sizeof datagram);
    return datagram;
}

std::string address_of(tessary_datagram const& datagram)
{
    std::string text;
    for (u8 part : datagram.address)
        text += (text.empty() ? "" : ".") + std::to_string(part);
    return text;
}

// The kernel's network on a scripted card, the machine 192.0.2.5/25 as in
// the stack's own tests, and programs that run on it.
class ProgramUdp : public ::testing::Test {
protected:
    ProgramUdp()
    {
        network().set_card(&m_card);
        network().configure(Ipv4Subnet { OurAddress, OurPrefix }, GatewayAddress);
    }
    ~ProgramUdp() override { EXPECT_EQ(Sim::page_frame_bytes(), 0u); }

    NetworkStack& network() { return m_kernel.network(); }

    // Runs `program` as the code of a program with memory to spare; its
    // exit status.
    i32 run(std::function<void()> program)
    {
        Sim::run_as_program(std::move(program));
        auto executable = MzExecutable::load(tiny_program(ExtraParagraphs));
        auto ending = m_kernel.programs().run(executable.value(), "");
        EXPECT_FALSE(ending.is_error());
        return ending.is_error() ? -1 : ending.value().status;
    }

    // The peer asks who we are, so the stack knows its MAC without asking.
    void introduce_peer()
    {
        m_card.incoming.push_back(arp_request_to_us(PeerMac, PeerAddress));
        network().poll(Time::milliseconds_since_start());
        ASSERT_EQ(m_card.sent.size(), 1u);
        m_card.sent.clear();
    }

    TestMachine m_machine;
    ScriptedNetworkCard m_card { OurMac };
    Kernel m_kernel { shell_commands() };
};

}

TEST_F(ProgramUdp, PortsOpenAsAskedOrFromTheDynamicRangeUpToTheProgramsLimit)
{
    // A port the system holds for itself is neither handed out nor closed.
    ASSERT_FALSE(network().open_udp_port(49154).is_error());
    std::vector<i32> results;
    run([&] {
        results = {
            system_call(Open, 5000),    // as asked
            system_call(Open, 5000),    // open already
            system_call(Open, 0x10000), // no such port
            system_call(Open, 0),       // the first of the range
            system_call(Open, 0),       // the next
            system_call(Open, 0),       // past the system's own
            system_call(Close, 49154),  // not the program's
            system_call(Close, 5000),   // closed
            system_call(Close, 5000),   // closed already
            system_call(Close, 0),      // no port
            system_call(Open, 5000),    // free again
        };
        for (u32 port = 6000; port < 6004; ++port)
            results.push_back(system_call(Open, port));
        results.push_back(system_call(Open, 7000));
        results.push_back(system_call(Open, 0));
    });
    EXPECT_EQ(results,
        (std::vector<i32> { 5000, TESSARY_IN_USE, TESSARY_BAD_ARGUMENT, 49152, 49153, 49155, TESSARY_NOT_FOUND, 0,
            TESSARY_NOT_FOUND, TESSARY_NOT_FOUND, 5000, 6000, 6001, 6002, 6003, TESSARY_TOO_MANY, TESSARY_TOO_MANY }));

    // The end of the program closed all eight; the system's port stays.
    for (u16 port : { 5000, 6000, 6003, 49152, 49153, 49155 }) {
        EXPECT_EQ(error_text(network().open_udp_port(port)), "") << port;
        network().close_udp_port(port);
    }
    EXPECT_EQ(error_text(network().open_udp_port(49154)), "Port already in use");

    // The next program's free port is not one just given back: a datagram
    // still on its way to the old owner would reach the new one.
    i32 next = 0;
    run([&] { next = system_call(Open, 0); });
    EXPECT_EQ(next, 49156);
}

TEST_F(ProgramUdp, WithoutACardAnAddressOrARouteNothingIsSent)
{
    // The stack's own limit counts the system's ports too.
    for (u16 port = 1; port <= UdpPorts::MaxOpenPorts - 2; ++port)
        ASSERT_FALSE(network().open_udp_port(port).is_error());
    std::vector<i32> results;
    run([&] {
        plant(Buffer, "hello");
        plant_description(Description, to_peer(7, Buffer, 5));
        results = {
            system_call(Open, 2000),
            system_call(Open, 2001),
            system_call(Open, 2002),
        };
        network().unconfigure();
        results.push_back(system_call(Send, 2000, Description));
        network().configure(Ipv4Subnet { OurAddress, OurPrefix }, Ipv4Address());
        plant_description(Description, tessary_datagram { { 192, 0, 2, 200 }, 7, 0, Buffer, 5 });
        results.push_back(system_call(Send, 2000, Description));
        network().set_card(nullptr);
        results.push_back(system_call(Open, 2003));
    });
    network().set_card(&m_card);
    EXPECT_EQ(results,
        (std::vector<i32> {
            2000, 2001, TESSARY_TOO_MANY, TESSARY_UNREACHABLE, TESSARY_UNREACHABLE, TESSARY_NO_NETWORK }));
    EXPECT_TRUE(m_card.sent.empty());
}

TEST_F(ProgramUdp, ASentDatagramLeavesAtOnceAsOneFrameToThePeer)
{
    introduce_peer();
    std::vector<i32> results;
    std::vector<Bytes> frames;
    run([&] {
        plant(Buffer, "hello, peer");
        plant_description(Description, to_peer(7, Buffer, 11));
        results = { system_call(Open, 4000), system_call(Send, 4000, Description) };
        // On the card before the program waits for anything.
        frames = m_card.sent;
        plant_description(Description, to_peer(9, Buffer, TESSARY_UDP_MAX_DATA));
        results.push_back(system_call(Send, 4000, Description));
        plant_description(Description, to_peer(9, Buffer, 0));
        results.push_back(system_call(Send, 4000, Description));
    });
    EXPECT_EQ(results, (std::vector<i32> { 4000, 11, TESSARY_UDP_MAX_DATA, 0 }));
    ASSERT_EQ(frames.size(), 1u);
    SentIpv4 frame(frames[0]);
    EXPECT_EQ(frame.destination_mac(), PeerMac);
    EXPECT_EQ(frame.protocol(), ProtocolUdp);
    EXPECT_EQ(frame.source(), OurAddress);
    EXPECT_EQ(frame.destination(), PeerAddress);
    EXPECT_TRUE(frame.header_checksum_right());
    EXPECT_TRUE(frame.udp_checksum_right());
    EXPECT_EQ(get16(frame.payload, 0), 4000);
    EXPECT_EQ(get16(frame.payload, 2), 7);
    EXPECT_EQ(frame.udp_data(), bytes_of("hello, peer"));

    // The largest fills a frame of the full MTU; the empty one is a header.
    ASSERT_EQ(m_card.sent.size(), 3u);
    EXPECT_EQ(m_card.sent[1].size(), 14u + 1500u);
    EXPECT_EQ(SentIpv4(m_card.sent[2]).payload.size(), 8u);
}

TEST_F(ProgramUdp, SendsTheNetworkCannotTakeAreRefused)
{
    introduce_peer();
    std::vector<i32> results;
    run([&] {
        plant(Buffer, "x");
        system_call(Open, 4000);
        auto send = [&](tessary_datagram const& datagram, u32 port = 4000) {
            plant_description(Description, datagram);
            results.push_back(system_call(Send, port, Description));
        };
        send(to_peer(7, Buffer, 1), 4001);                  // not open
        send(to_peer(0, Buffer, 1));                        // to port 0
        send(to_peer(7, Buffer, TESSARY_UDP_MAX_DATA + 1)); // more than a frame holds
        send({ { 0, 0, 0, 0 }, 7, 0, Buffer, 1 });          // to no one
        send({ { 224, 0, 0, 1 }, 7, 0, Buffer, 1 });        // to a group
        send({ { 192, 0, 2, 5 }, 7, 0, Buffer, 1 });        // to ourselves
        send({ { 192, 0, 2, 127 }, 7, 0, Buffer, 1 });      // the subnet's broadcast: fine
        // A card that takes nothing: the queue fills, and then says so.
        m_card.refuse_sends = true;
        for (size_t i = 0; i <= OutgoingQueue::Capacity; ++i)
            send(to_peer(7, Buffer, 1));
    });
    std::vector<i32> expected { TESSARY_NOT_FOUND, TESSARY_BAD_ARGUMENT, TESSARY_TOO_LARGE, TESSARY_BAD_ARGUMENT,
        TESSARY_BAD_ARGUMENT, TESSARY_BAD_ARGUMENT, 1 };
    expected.insert(expected.end(), OutgoingQueue::Capacity, 1);
    expected.push_back(TESSARY_QUEUE_FULL);
    EXPECT_EQ(results, expected);
    ASSERT_EQ(m_card.sent.size(), 1u);
    EXPECT_EQ(SentIpv4(m_card.sent[0]).destination_mac(), Broadcast);
}

TEST_F(ProgramUdp, ReceivedDatagramsComeInOrderWithTheirSenderAndCutToTheBuffer)
{
    m_card.incoming.push_back(udp_frame_to_us(40000, 4000, bytes_of("first")));
    m_card.incoming.push_back(udp_frame_to_us(40001, 4001, bytes_of("for a port not open")));
    m_card.incoming.push_back(udp_frame_to_us(40002, 4000, bytes_of("0123456789")));
    m_card.incoming.push_back(udp_frame_to_us(40003, 4000, bytes_of("")));
    std::vector<i32> results;
    std::vector<tessary_datagram> descriptions;
    std::vector<std::string> buffers;
    run([&] {
        results.push_back(system_call(Open, 4000));
        auto receive = [&](u32 capacity) {
            plant(Buffer, std::string(16, '#'));
            plant_description(Description, tessary_datagram { {}, 0, 0, Buffer, capacity });
            results.push_back(system_call(Receive, 4000, Description, 0));
            descriptions.push_back(description_at(Description));
            buffers.push_back(stored(Buffer, 12));
        };
        receive(64);
        receive(4);
        receive(64);
        receive(64);
    });
    EXPECT_EQ(results, (std::vector<i32> { 4000, 5, 4, 0, TESSARY_TIMED_OUT }));
    EXPECT_EQ(address_of(descriptions[0]), "192.0.2.9");
    EXPECT_EQ(descriptions[0].port, 40000);
    EXPECT_EQ(descriptions[0].length, 5u);
    EXPECT_EQ(buffers[0], "first#######");
    // Cut: the count says what was stored, the length what was sent.
    EXPECT_EQ(descriptions[1].port, 40002);
    EXPECT_EQ(descriptions[1].length, 10u);
    EXPECT_EQ(buffers[1], "0123########");
    EXPECT_EQ(descriptions[2].port, 40003);
    EXPECT_EQ(descriptions[2].length, 0u);
    // Nothing is left, and a failed receive leaves the description alone.
    EXPECT_EQ(descriptions[3].length, 64u);
    EXPECT_EQ(buffers[3], std::string(12, '#'));
}

TEST_F(ProgramUdp, AReceiveWaitsWithHaltsUpToItsLimitAndTheMachineKeepsAnswering)
{
    std::vector<i32> results;
    u64 halts_without_wait = 0, halts_waiting = 0;
    u32 waited_ms = 0;
    std::vector<Bytes> answered;
    run([&] {
        system_call(Open, 4000);
        plant_description(Description, tessary_datagram { {}, 0, 0, Buffer, 64 });
        u64 halts = Sim::halt_count();
        results.push_back(system_call(Receive, 4000, Description, 0));
        halts_without_wait = Sim::halt_count() - halts;

        // Someone asks for our MAC while the program waits for nothing.
        halts = Sim::halt_count();
        bool asked = false;
        Sim::on_timer_read([&] {
            if (Sim::halt_count() > halts && !asked) {
                asked = true;
                m_card.incoming.push_back(arp_request_to_us(PeerMac, PeerAddress));
            }
        });
        u32 start = Time::milliseconds_since_start();
        results.push_back(system_call(Receive, 4000, Description, 2000));
        waited_ms = Time::milliseconds_since_start() - start;
        halts_waiting = Sim::halt_count() - halts;
        answered = m_card.sent;
        Sim::on_timer_read(nullptr);
    });
    EXPECT_EQ(results, (std::vector<i32> { TESSARY_TIMED_OUT, TESSARY_TIMED_OUT }));
    EXPECT_EQ(halts_without_wait, 0u);
    EXPECT_GE(waited_ms, 2000u);
    // A halt between looks: no busy loop.
    EXPECT_GT(halts_waiting, 1u);
    ASSERT_EQ(answered.size(), 1u);
    EXPECT_EQ(get16(answered[0], 12), TypeArp);
    EXPECT_EQ(get_mac(answered[0], 0), PeerMac);
}

TEST_F(ProgramUdp, AReceiveEndsWhenTheDatagramArrivesNotAtItsLimit)
{
    i32 result = 0;
    u64 halts_waiting = 0;
    std::string data;
    run([&] {
        system_call(Open, 4000);
        plant_description(Description, tessary_datagram { {}, 0, 0, Buffer, 64 });
        u64 halts = Sim::halt_count();
        Sim::on_timer_read([&] {
            if (Sim::halt_count() - halts == 2 && m_card.incoming.empty())
                m_card.incoming.push_back(udp_frame_to_us(1234, 4000, bytes_of("late")));
        });
        result = system_call(Receive, 4000, Description, 60000);
        halts_waiting = Sim::halt_count() - halts;
        data = stored(Buffer, 4);
        Sim::on_timer_read(nullptr);
    });
    EXPECT_EQ(result, 4);
    EXPECT_EQ(data, "late");
    // Taken in at the first look after the halt it arrived in.
    EXPECT_EQ(halts_waiting, 2u);
}

TEST_F(ProgramUdp, BadPointersAreRefusedBeforeADatagramIsTaken)
{
    m_card.incoming.push_back(udp_frame_to_us(40000, 4000, bytes_of("kept")));
    std::vector<i32> results;
    std::string received;
    run([&] {
        system_call(Open, 4000);
        plant_description(Description, to_peer(7, Buffer, 4));
        results = {
            system_call(Send, 4000, 0),                             // no description
            system_call(Send, 4000, PagesEnd - 8),                  // one running off the pages
            system_call(Receive, 4000, ProgramMemory::ExitPage, 0), // one that cannot be written
        };
        plant_description(Description, to_peer(7, 0x00500000, 4)); // bytes in the kernel
        results.push_back(system_call(Send, 4000, Description));
        plant_description(Description, to_peer(7, PagesEnd - 2, 4)); // bytes running off the pages
        results.push_back(system_call(Send, 4000, Description));
        results.push_back(system_call(Receive, 4000, Description, 0));
        plant_description(Description, to_peer(7, ProgramMemory::ExitPage, 4)); // a buffer that cannot be written
        results.push_back(system_call(Receive, 4000, Description, 0));
        plant_description(Description, to_peer(7, Buffer, 0xFFFFFFFF)); // a capacity that wraps
        results.push_back(system_call(Receive, 4000, Description, 0));
        // The datagram waited through all of that.
        plant_description(Description, to_peer(7, Buffer, 64));
        results.push_back(system_call(Receive, 4000, Description, 0));
        received = stored(Buffer, 4);
    });
    EXPECT_EQ(results,
        (std::vector<i32> { TESSARY_BAD_ARGUMENT, TESSARY_BAD_ARGUMENT, TESSARY_BAD_ARGUMENT, TESSARY_BAD_ARGUMENT,
            TESSARY_BAD_ARGUMENT, TESSARY_BAD_ARGUMENT, TESSARY_BAD_ARGUMENT, TESSARY_BAD_ARGUMENT, 4 }));
    EXPECT_EQ(received, "kept");
    EXPECT_TRUE(m_card.sent.empty());
}

TEST_F(ProgramUdp, AProgramThatFaultsLeavesNoPortAndNoDatagramBehind)
{
    std::vector<i32> first;
    i32 status = run([&] {
        first = { system_call(Open, 4000), system_call(Open, 0) };
        m_card.incoming.push_back(udp_frame_to_us(40000, 4000, bytes_of("for the first program")));
        network().poll(Time::milliseconds_since_start());
        fault(14, Base);
    });
    EXPECT_EQ(status, 128 + 14);
    EXPECT_EQ(first, (std::vector<i32> { 4000, 49152 }));

    // The next program gets the port, empty.
    std::vector<i32> second;
    run([&] {
        plant_description(Description, tessary_datagram { {}, 0, 0, Buffer, 64 });
        second = { system_call(Open, 4000), system_call(Receive, 4000, Description, 0) };
    });
    EXPECT_EQ(second, (std::vector<i32> { 4000, TESSARY_TIMED_OUT }));
    EXPECT_EQ(error_text(network().open_udp_port(49152)), "");
}
