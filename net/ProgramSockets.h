#pragma once

#include "hal/ProgramNetwork.h"
#include "net/NetworkStack.h"

#include <array>
#include <optional>

// The running program's UDP ports on the kernel's network stack. The stack
// is polled by every call, so a program that only computes and calls now
// and then still gets its datagrams out and in; a receive that waits keeps
// polling the stack between halts, so the machine goes on answering ARP and
// pings meanwhile.
class ProgramSockets final : public ProgramNetwork {
public:
    static constexpr size_t MaxPorts = TESSARY_UDP_PORTS;
    // The range a port is taken from when the program asks for any.
    static constexpr u16 FirstDynamicPort = 49152;
    static constexpr u16 LastDynamicPort = 65535;

    explicit ProgramSockets(NetworkStack& network)
        : m_network(network)
    {
    }

    i32 open(u32 port) override;
    i32 close(u32 port) override;
    i32 send(u32 port, Peer destination, std::span<u8 const> data) override;
    i32 receive(u32 port, u32 timeout_ms, Peer& source, std::span<u8 const>& data) override;
    void close_all() override;

private:
    // The slot holding `port` when the program has it open.
    std::optional<size_t> slot_of(u32 port) const;
    i32 open_dynamic(size_t slot);
    void poll();

    NetworkStack& m_network;
    // The program's open ports; 0 marks a free slot.
    std::array<u16, MaxPorts> m_ports {};
    // Where the search for a free dynamic port starts: past the last one
    // handed out, so a port just closed is not given to the next program at
    // once, where datagrams still on their way to the old one would reach it.
    u16 m_next_dynamic { FirstDynamicPort };
    // The datagram the last receive handed out.
    UdpDatagram m_received;
};
