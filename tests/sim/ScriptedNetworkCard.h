#pragma once

// A network card for tests of what sits above one: the frames it will
// "receive" are queued by the test, the frames sent are kept in order, and
// the test can make it refuse to send, as a card with a full ring does. A
// test that plays the machines at the other end of the wire answers in
// on_send, which sees each frame as it is sent and may queue the answer for
// the next receive: the code under test finds it at its next poll, however
// it waits.

#include "net/NetworkCard.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

class ScriptedNetworkCard final : public NetworkCard {
public:
    explicit ScriptedNetworkCard(MacAddress mac)
        : m_mac(mac)
    {
    }

    MacAddress mac_address() const override { return m_mac; }
    bool link_up() const override { return link; }
    ErrorOr<void> send(std::span<u8 const> frame) override
    {
        if (refuse_sends)
            return Error("Transmit ring full");
        sent.emplace_back(frame.begin(), frame.end());
        if (on_send)
            on_send(sent.back());
        return {};
    }
    size_t receive(std::span<u8> buffer) override
    {
        if (incoming.empty())
            return 0;
        auto frame = std::move(incoming.front());
        incoming.pop_front();
        size_t length = std::min(frame.size(), buffer.size());
        std::copy_n(frame.begin(), length, buffer.begin());
        return length;
    }

    std::deque<std::vector<u8>> incoming;
    std::vector<std::vector<u8>> sent;
    bool refuse_sends { false };
    bool link { true };
    std::function<void(std::vector<u8> const&)> on_send;

private:
    MacAddress m_mac;
};
