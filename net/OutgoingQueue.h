#pragma once

#include "base/Error.h"
#include "net/BoundedQueue.h"
#include "net/NetworkCard.h"
#include "net/NetworkCounters.h"

// The frames ready for the wire, in order, waiting for the card. Bounded:
// when the card falls behind, senders get an error instead of the queue
// taking the heap.
class OutgoingQueue {
public:
    static constexpr size_t Capacity = 32;

    ErrorOr<void> push(ByteBuffer frame);
    // Hands the queued frames to the card in order. A frame the card refuses
    // (its ring full, or stuck) stays first in line and the flush stops
    // there: a full ring usually drains by the next poll, and a stuck card
    // soon fills this queue, which senders then see as an error.
    void flush(NetworkCard& card, NetworkCounters& counters);
    size_t size() const { return m_frames.size(); }

private:
    BoundedQueue<ByteBuffer, Capacity> m_frames;
};
