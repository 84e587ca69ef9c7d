// The input is what arrives from the wire. Its first byte chooses the set-up
// (bit 0: a DHCP exchange runs instead of the address set by hand; bit 1:
// the checksums of each IPv4 frame are put right before it arrives, so that
// mutations get past checks a changed byte would otherwise fail); frames
// follow, each after its length in two big-endian bytes. A fresh stack takes
// them one poll at a time, with a port open and a datagram and a ping waiting
// for their next hop's ARP answer, and sends back whatever a datagram that
// arrives holds. Whatever arrives, every frame is counted once, no counter
// goes down, the queues stay within their bounds, and what a port delivers
// fits in one datagram.

#include "base/Endian.h"
#include "net/NetworkStack.h"
#include "net/Udp.h"
#include "tests/sim/ScriptedNetworkCard.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr MacAddress Mac { 0x52, 0x54, 0x00, 0x12, 0x34, 0x56 };
constexpr Ipv4Address Peer { 192, 0, 2, 9 };
constexpr u16 OpenPort = 7;
// Long enough that a few frames see ARP retries and a DHCP deadline pass.
constexpr u32 StepMs = 700;

void check(bool condition, char const* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "network frame fuzzer: %s\n", what);
    std::abort();
}

// The IPv4 header checksum and the ICMP or UDP one, wherever the lengths in
// the frame leave room for them.
void repair_checksums(std::vector<u8>& frame)
{
    std::span<u8> bytes(frame);
    if (bytes.size() < 14 + Ipv4::HeaderSize || read_be16(bytes, 12) != 0x0800)
        return;
    auto packet = bytes.subspan(14);
    size_t header_size = (packet[0] & 0x0F) * 4u;
    if (header_size < Ipv4::HeaderSize || header_size > packet.size())
        return;
    write_be16(packet, 10, 0);
    write_be16(packet, 10, Ipv4::checksum(packet.first(header_size)));
    size_t total = std::min<size_t>(read_be16(packet, 2), packet.size());
    if (total < header_size)
        return;
    auto payload = packet.subspan(header_size, total - header_size);
    if (packet[9] == static_cast<u8>(Ipv4::Protocol::Icmp) && payload.size() >= 4) {
        write_be16(payload, 2, 0);
        write_be16(payload, 2, Ipv4::checksum(payload));
    } else if (packet[9] == static_cast<u8>(Ipv4::Protocol::Udp) && payload.size() >= Udp::HeaderSize) {
        auto segment = payload.first(std::clamp<size_t>(read_be16(payload, 4), Udp::HeaderSize, payload.size()));
        std::array<u8, 12> pseudo_header {};
        std::copy_n(packet.begin() + 12, 8, pseudo_header.begin());
        pseudo_header[9] = packet[9];
        write_be16(pseudo_header, 10, static_cast<u16>(segment.size()));
        write_be16(segment, 6, 0);
        write_be16(
            segment, 6, Ipv4::finish_checksum(Ipv4::add_to_checksum(Ipv4::add_to_checksum(0, pseudo_header), segment)));
    }
}

void check_counters(NetworkCounters const& before, NetworkCounters const& after)
{
    check(after.frames_received == before.frames_received + 1, "a frame was not counted once");
    check(after.frames_sent >= before.frames_sent && after.frames_dropped >= before.frames_dropped
            && after.port_queue_overflows >= before.port_queue_overflows && after.send_failures >= before.send_failures
            && after.unresolved_frames_dropped >= before.unresolved_frames_dropped,
        "a counter went down");
    check(after.frames_dropped <= after.frames_received, "more frames dropped than received");
    check(after.port_queue_overflows <= after.frames_dropped, "an overflow was not counted as a drop");
}

}

extern "C" int LLVMFuzzerTestOneInput(u8 const* data, size_t size)
{
    if (size < 1)
        return 0;
    ScriptedNetworkCard card(Mac);
    NetworkStack stack(&card);
    u32 now = 1000;
    stack.configure(*Ipv4Subnet::from_string("192.0.2.5/24"), Ipv4Address(192, 0, 2, 1));
    MUST(stack.open_udp_port(OpenPort));
    MUST(stack.send_udp(OpenPort, Peer, 9, std::span<u8 const>(data, 1)));
    MUST(stack.send_ping(Peer, 1, now));
    if (data[0] & 1)
        MUST(stack.start_dhcp());
    stack.poll(now);

    for (size_t at = 1; size - at >= 2;) {
        size_t length = std::min<size_t>(
            { static_cast<size_t>(data[at] << 8 | data[at + 1]), size - at - 2, NetworkCard::MaxFrameSize });
        auto frame = std::span(data + at + 2, length);
        at += 2 + length;
        // A card has no empty frames: its receive returns 0 when none waits.
        if (frame.empty())
            continue;
        card.incoming.emplace_back(frame.begin(), frame.end());
        if (data[0] & 2)
            repair_checksums(card.incoming.back());

        auto before = stack.counters();
        now += StepMs;
        stack.poll(now);
        check_counters(before, stack.counters());
        check(stack.queued_frames() <= OutgoingQueue::Capacity, "the outgoing queue outgrew its bound");
        while (auto datagram = MUST(stack.receive_udp(OpenPort))) {
            check(datagram->data.size() <= Udp::MaxDataSize, "a datagram larger than a frame holds");
            (void)stack.send_udp(OpenPort, datagram->source, datagram->source_port, datagram->data);
        }
        while (stack.take_ping_reply()) { }
        card.sent.clear();
    }
    return 0;
}
