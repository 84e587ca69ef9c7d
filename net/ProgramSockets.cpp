#include "net/ProgramSockets.h"

#include "hal/Time.h"
#include "net/Udp.h"

#include <utility>

static_assert(TESSARY_UDP_MAX_DATA == Udp::MaxDataSize);

namespace {

struct Failure {
    char const* message;
    i32 code;
};
// The stack tells its failures apart by their texts alone, the ones the
// shell's commands show; a program gets the code each stands for.
constexpr Failure Failures[] = {
    { "Port already in use", TESSARY_IN_USE },
    { "Too many open ports", TESSARY_TOO_MANY },
    { "No network card", TESSARY_NO_NETWORK },
    { "No network address", TESSARY_UNREACHABLE },
    { "No route to host", TESSARY_UNREACHABLE },
    { "Invalid destination address", TESSARY_BAD_ARGUMENT },
    { "Cannot send to own address", TESSARY_BAD_ARGUMENT },
    { "Invalid port", TESSARY_BAD_ARGUMENT },
    { "Port not open", TESSARY_NOT_FOUND },
    { "Datagram too large", TESSARY_TOO_LARGE },
    { "Network queue full", TESSARY_QUEUE_FULL },
};

i32 failure_of(Error const& error)
{
    if (error.is_out_of_memory())
        return TESSARY_NO_MEMORY;
    String message = error.message();
    for (auto const& failure : Failures) {
        if (message == failure.message)
            return failure.code;
    }
    return TESSARY_FAILED;
}

}

std::optional<size_t> ProgramSockets::slot_of(u32 port) const
{
    // 0 marks the free slots: it is no port.
    if (port == 0)
        return {};
    for (size_t slot = 0; slot < m_ports.size(); ++slot) {
        if (m_ports[slot] == port)
            return slot;
    }
    return {};
}

void ProgramSockets::poll() { m_network.poll(Time::milliseconds_since_start()); }

i32 ProgramSockets::open(u32 port)
{
    if (port > LastDynamicPort)
        return TESSARY_BAD_ARGUMENT;
    if (!m_network.has_card())
        return TESSARY_NO_NETWORK;
    std::optional<size_t> free_slot;
    for (size_t slot = 0; slot < m_ports.size() && !free_slot; ++slot) {
        if (m_ports[slot] == 0)
            free_slot = slot;
    }
    if (!free_slot)
        return TESSARY_TOO_MANY;
    if (port == 0)
        return open_dynamic(*free_slot);
    auto opened = m_network.open_udp_port(static_cast<u16>(port));
    if (opened.is_error())
        return failure_of(opened.error());
    m_ports[*free_slot] = static_cast<u16>(port);
    return static_cast<i32>(port);
}

i32 ProgramSockets::open_dynamic(size_t slot)
{
    constexpr u32 RangeSize = LastDynamicPort - FirstDynamicPort + 1;
    for (u32 tried = 0; tried < RangeSize; ++tried) {
        u16 candidate = m_next_dynamic;
        m_next_dynamic = candidate == LastDynamicPort ? FirstDynamicPort : static_cast<u16>(candidate + 1);
        auto opened = m_network.open_udp_port(candidate);
        if (!opened.is_error()) {
            m_ports[slot] = candidate;
            return candidate;
        }
        i32 failure = failure_of(opened.error());
        if (failure != TESSARY_IN_USE)
            return failure;
    }
    return TESSARY_IN_USE;
}

i32 ProgramSockets::close(u32 port)
{
    auto slot = slot_of(port);
    if (!slot)
        return TESSARY_NOT_FOUND;
    m_network.close_udp_port(m_ports[*slot]);
    m_ports[*slot] = 0;
    return 0;
}

void ProgramSockets::close_all()
{
    for (auto& port : m_ports) {
        if (port != 0)
            m_network.close_udp_port(port);
        port = 0;
    }
    m_received = {};
}

i32 ProgramSockets::send(u32 port, Peer destination, std::span<u8 const> data)
{
    if (!slot_of(port))
        return TESSARY_NOT_FOUND;
    if (destination.port == 0)
        return TESSARY_BAD_ARGUMENT;
    if (data.size() > TESSARY_UDP_MAX_DATA)
        return TESSARY_TOO_LARGE;
    // The stack stamps ARP entries with the time of its last poll: bring it
    // to now first. The poll after hands the frame to the card at once
    // rather than at the system's next wait.
    poll();
    auto sent = m_network.send_udp(static_cast<u16>(port), Ipv4Address(destination.address), destination.port, data);
    if (sent.is_error())
        return failure_of(sent.error());
    poll();
    return static_cast<i32>(data.size());
}

i32 ProgramSockets::receive(u32 port, u32 timeout_ms, Peer& source, std::span<u8 const>& data)
{
    if (!slot_of(port))
        return TESSARY_NOT_FOUND;
    u32 start = Time::milliseconds_since_start();
    for (;;) {
        poll();
        auto waiting = m_network.receive_udp(static_cast<u16>(port));
        if (waiting.is_error())
            return failure_of(waiting.error());
        if (auto& datagram = waiting.value()) {
            m_received = std::move(*datagram);
            source = { m_received.source.value(), m_received.source_port };
            data = m_received.data;
            return 0;
        }
        if (Time::milliseconds_since_start() - start >= timeout_ms)
            return TESSARY_TIMED_OUT;
        // A halt until the next timer interrupt: the frame that ends the
        // wait is taken in within a millisecond of arriving.
        Time::wait_ms(1);
    }
}
