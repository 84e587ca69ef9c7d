#pragma once

// A network card for tests of what sits above one: the frames it will
// "receive" are queued by the test, the frames sent are kept in order, and
// the test can make it refuse to send, as a card with a full ring does.

#include "net/NetworkCard.h"

#include <algorithm>
#include <deque>
#include <vector>

class ScriptedNetworkCard final : public NetworkCard {
public:
    explicit ScriptedNetworkCard(MacAddress mac)
        : m_mac(mac)
    {
    }

    MacAddress mac_address() const override { return m_mac; }
    bool link_up() const override { return true; }
    ErrorOr<void> send(std::span<u8 const> frame) override
    {
        if (refuse_sends)
            return Error("Transmit ring full");
        sent.emplace_back(frame.begin(), frame.end());
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

private:
    MacAddress m_mac;
};
