#include "net/UdpPorts.h"

#include <algorithm>

ErrorOr<void> UdpPorts::open(u16 port)
{
    if (port == 0)
        return Error("Invalid port");
    if (is_open(port))
        return Error("Port already in use");
    if (m_ports.size() == MaxOpenPorts)
        return Error("Too many open ports");
    m_ports.append(Port { port, {} });
    return {};
}

void UdpPorts::close(u16 port)
{
    for (size_t i = 0; i < m_ports.size(); ++i) {
        if (m_ports[i].number == port) {
            m_ports.remove(i);
            return;
        }
    }
}

UdpPorts::Delivery UdpPorts::deliver(u16 port, Ipv4Address source, u16 source_port, std::span<u8 const> data)
{
    auto* open_port = find(port);
    if (!open_port)
        return Delivery::PortClosed;
    if (open_port->queue.is_full())
        return Delivery::QueueFull;
    ByteBuffer copy;
    copy.resize(data.size());
    std::copy(data.begin(), data.end(), copy.begin());
    bool queued = open_port->queue.push({ source, source_port, std::move(copy) });
    VERIFY(queued);
    return Delivery::Queued;
}

ErrorOr<std::optional<UdpDatagram>> UdpPorts::receive(u16 port)
{
    auto* open_port = find(port);
    if (!open_port)
        return Error("Port not open");
    return open_port->queue.pop();
}

UdpPorts::Port* UdpPorts::find(u16 port)
{
    for (auto& open_port : m_ports) {
        if (open_port.number == port)
            return &open_port;
    }
    return nullptr;
}

UdpPorts::Port const* UdpPorts::find(u16 port) const { return const_cast<UdpPorts*>(this)->find(port); }
