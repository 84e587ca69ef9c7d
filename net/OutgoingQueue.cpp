#include "net/OutgoingQueue.h"

ErrorOr<void> OutgoingQueue::push(ByteBuffer frame)
{
    if (!m_frames.push(std::move(frame)))
        return Error("Network queue full");
    return {};
}

void OutgoingQueue::flush(NetworkCard& card, NetworkCounters& counters)
{
    while (!m_frames.is_empty()) {
        if (card.send(m_frames.front()).is_error()) {
            ++counters.send_failures;
            return;
        }
        ++counters.frames_sent;
        (void)m_frames.pop();
    }
}
