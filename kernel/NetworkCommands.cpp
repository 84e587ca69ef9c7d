#include "kernel/NetworkCommands.h"

#include "hal/Console.h"
#include "hal/Time.h"
#include "kernel/Output.h"
#include "net/Ethernet.h"

namespace {

char const* dhcp_note(DhcpState state)
{
    switch (state) {
    case DhcpState::Selecting:
    case DhcpState::Requesting:
        return " (asking DHCP)";
    case DhcpState::Bound:
        return " (from DHCP)";
    case DhcpState::Failed:
        return " (no DHCP server answered)";
    case DhcpState::Off:
        break;
    }
    return "";
}

ErrorOr<void> show_network(NetworkStack& network)
{
    if (!network.has_card())
        return Console::write_line("Card: none");
    TRY(Console::write_line(
        "Card: " + Ethernet::mac_to_string(network.mac_address()) + ", link " + (network.link_up() ? "up" : "down")));
    auto const& subnet = network.subnet();
    TRY(Console::write_line(
        "Address: " + (subnet ? subnet->to_string() : String("none")) + dhcp_note(network.dhcp_state())));
    if (subnet)
        TRY(Console::write_line("Netmask: " + subnet->netmask().to_string()));
    TRY(Console::write_line(
        "Gateway: " + (network.gateway().is_zero() ? String("none") : network.gateway().to_string())));
    auto const& counters = network.counters();
    return Console::write_line("Frames: " + String::number(counters.frames_received) + " received, "
        + String::number(counters.frames_sent) + " sent, " + String::number(counters.frames_dropped) + " dropped");
}

// "net" shows; "net ADDRESS/PREFIX [GATEWAY]" sets the address by hand,
// which ends what DHCP was doing.
ErrorOr<void> net(Kernel& kernel, Argument const& argument)
{
    auto& network = kernel.network();
    if (is_blank(argument))
        return show_network(network);
    auto words = split_at_first_space(*argument);
    auto subnet = Ipv4Subnet::from_string(words[0]);
    std::optional<Ipv4Address> gateway = Ipv4Address();
    if (words.size() > 1)
        gateway = Ipv4Address::from_string(words[1]);
    if (!subnet || !gateway)
        return write_usage("USAGE: net [<address>/<prefix length> [<gateway>]]");
    if (!network.has_card())
        return Error("No network card");
    if (!gateway->is_zero() && !subnet->contains(*gateway))
        return Error("Gateway not on the network");
    network.configure(*subnet, *gateway);
    return {};
}

constexpr u16 PingCount = 4;
constexpr u32 PingIntervalMs = 1000;

// Keys typed during a ping are its own: Escape stops it, the rest are
// dropped rather than left for the prompt.
ErrorOr<void> ping(Kernel& kernel, Argument const& argument)
{
    auto destination = is_blank(argument) ? std::nullopt : Ipv4Address::from_string(*argument);
    if (!destination)
        return write_usage("USAGE: ping <address>");
    auto& network = kernel.network();
    Keyboard keyboard;
    u16 sent = 0;
    u16 received = 0;
    u32 total_ms = 0;
    bool stopped = false;
    while (sent < PingCount && !stopped) {
        u32 start = Time::milliseconds_since_start();
        network.poll(start);
        TRY(network.send_ping(*destination, ++sent, start));
        // The request (or the ARP request before it) leaves at a poll: this
        // one, so the time measured is the wire's and not the first wait's.
        network.poll(start);
        // The reply is awaited for the rest of the second; the next request
        // leaves when it is over.
        bool answered = false;
        while (Time::milliseconds_since_start() - start < PingIntervalMs) {
            if (escape_pressed(keyboard)) {
                stopped = true;
                break;
            }
            Time::wait_ms(5);
            network.poll(Time::milliseconds_since_start());
            while (auto reply = network.take_ping_reply()) {
                if (reply->sequence != sent || reply->from != *destination || answered)
                    continue;
                answered = true;
                ++received;
                total_ms += reply->round_trip_ms;
                TRY(Console::write_line("Reply from " + reply->from.to_string() + ": seq=" + String::number(sent)
                    + " time=" + String::number(reply->round_trip_ms) + " ms"));
            }
        }
        if (!answered && !stopped)
            TRY(Console::write_line("Request " + String::number(sent) + " timed out"));
    }
    String summary = String::number(sent) + " sent, " + String::number(received) + " received, "
        + String::number((sent - received) * 100 / sent) + "% lost";
    if (received > 0)
        summary = summary + ", average " + String::number(total_ms / received) + " ms";
    return Console::write_line(summary);
}

}

void register_network_commands(Vector<Command>& table)
{
    table.append({ "net", net });
    table.append({ "ping", ping });
}
