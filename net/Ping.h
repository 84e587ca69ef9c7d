#pragma once

#include "base/Vector.h"
#include "net/BoundedQueue.h"
#include "net/Icmp.h"
#include "net/Ipv4Address.h"

// An answer to one of this machine's echo requests.
struct PingReply {
    Ipv4Address from;
    u16 sequence;
    u32 round_trip_ms;
};

// The echo requests this machine sent and the replies that came back for
// them, which the `ping` command collects.
class Ping {
public:
    // Every request of this machine carries it; replies with another one
    // answer someone else.
    static constexpr u16 Identifier = 0x5445;
    static constexpr size_t DataSize = 32;
    // Requests waiting for their reply; the oldest, long lost, is forgotten
    // to make room.
    static constexpr size_t MaxOutstanding = 8;
    static constexpr size_t MaxReplies = 8;

    // What each request carries after its header.
    static std::span<u8 const, DataSize> data();

    void note_sent(Ipv4Address destination, u16 sequence, u32 now_ms);
    // An echo reply arrived: true when it answers an outstanding request,
    // which it then ends.
    bool take_echo_reply(Ipv4Address from, Icmp::Echo const& echo, u32 now_ms);
    std::optional<PingReply> take_reply() { return m_replies.pop(); }

private:
    struct Request {
        Ipv4Address destination;
        u16 sequence;
        u32 sent_at_ms;
    };
    Vector<Request> m_outstanding;
    BoundedQueue<PingReply, MaxReplies> m_replies;
};
