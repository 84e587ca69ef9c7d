#include "net/Ping.h"

#include <algorithm>

namespace {
constexpr u8 Pattern[Ping::DataSize + 1] = "Tessary echo data for ping 12345";
}

std::span<u8 const, Ping::DataSize> Ping::data() { return std::span<u8 const, DataSize>(Pattern, DataSize); }

void Ping::note_sent(Ipv4Address destination, u16 sequence, u32 now_ms)
{
    if (m_outstanding.size() == MaxOutstanding)
        m_outstanding.remove(0);
    m_outstanding.append({ destination, sequence, now_ms });
}

bool Ping::take_echo_reply(Ipv4Address from, Icmp::Echo const& echo, u32 now_ms)
{
    if (echo.identifier != Identifier || m_replies.is_full()
        || !std::equal(echo.data.begin(), echo.data.end(), data().begin(), data().end()))
        return false;
    for (size_t i = 0; i < m_outstanding.size(); ++i) {
        auto const& request = m_outstanding[i];
        if (request.destination != from || request.sequence != echo.sequence)
            continue;
        bool queued = m_replies.push({ from, echo.sequence, now_ms - request.sent_at_ms });
        VERIFY(queued);
        m_outstanding.remove(i);
        return true;
    }
    return false;
}
