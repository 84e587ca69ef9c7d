#pragma once

#include "base/Error.h"
#include "net/BoundedQueue.h"
#include "net/Ipv4Address.h"

#include <span>

// A datagram that arrived for an open port.
struct UdpDatagram {
    Ipv4Address source;
    u16 source_port { 0 };
    ByteBuffer data;
};

// The UDP ports programs have open, each with the datagrams that arrived for
// it and wait to be read. Both are bounded, so a sender that floods a port
// costs at most one full queue.
class UdpPorts {
public:
    static constexpr size_t MaxOpenPorts = 16;
    static constexpr size_t QueueLength = 16;

    enum class Delivery {
        Queued,
        PortClosed,
        // The port's queue was full: the new datagram is dropped and the
        // ones waiting keep their order.
        QueueFull,
    };

    ErrorOr<void> open(u16 port);
    // Drops what waits on the port; a port that is not open is no error.
    void close(u16 port);
    bool is_open(u16 port) const { return find(port) != nullptr; }
    size_t open_count() const { return m_ports.size(); }

    Delivery deliver(u16 port, Ipv4Address source, u16 source_port, std::span<u8 const> data);
    // The oldest datagram waiting on the port, or nothing without waiting.
    ErrorOr<std::optional<UdpDatagram>> receive(u16 port);

private:
    struct Port {
        u16 number { 0 };
        BoundedQueue<UdpDatagram, QueueLength> queue;
    };
    Port* find(u16 port);
    Port const* find(u16 port) const;

    Vector<Port> m_ports;
};
