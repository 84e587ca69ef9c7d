#pragma once

#include "base/Types.h"

// What the stack has done with frames, for the `net` command and the tests.
// Each counts up only.
struct NetworkCounters {
    // Every frame the card handed over.
    u32 frames_received { 0 };
    // Every frame the card took.
    u32 frames_sent { 0 };
    // Received frames that were malformed, not for this machine, for no one
    // listening, or for a port or ping whose queue was full.
    u32 frames_dropped { 0 };
    // Of those, the well-formed datagrams that found their port's queue full.
    u32 port_queue_overflows { 0 };
    // Times the card refused a frame; the frame stays queued for the next poll.
    u32 send_failures { 0 };
    // Outgoing frames given up because their next hop never answered ARP.
    u32 unresolved_frames_dropped { 0 };
};
