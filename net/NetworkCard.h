#pragma once

#include "base/Error.h"

#include <array>
#include <span>

using MacAddress = std::array<u8, 6>;

// A network card as the stack sees it: whole Ethernet frames in and out
// (destination, source, type and payload; no preamble, no frame check
// sequence, which the card adds and checks itself).
class NetworkCard {
public:
    // The longest frame without the frame check sequence.
    static constexpr size_t MaxFrameSize = 1514;

    virtual ~NetworkCard() = default;

    virtual MacAddress mac_address() const = 0;
    virtual bool link_up() const = 0;
    // Hands one frame (14 to MaxFrameSize bytes; shorter ones are padded)
    // to the card. Fails when the card's transmit ring is full or stuck.
    virtual ErrorOr<void> send(std::span<u8 const> frame) = 0;
    // Copies the next received frame into `buffer` (MaxFrameSize bytes or
    // more) and returns its length; 0 when none is waiting. Frames the card
    // flagged as bad are skipped.
    virtual size_t receive(std::span<u8> buffer) = 0;
};
