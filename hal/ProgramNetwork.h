#pragma once

#include "base/Types.h"
#include "sdk/tessary_calls.h"

#include <span>

// What a running program's UDP calls do, served by the layer that owns the
// network: net/ProgramSockets over the kernel's stack. The runner has
// checked and copied every pointer; these see kernel memory only. Results
// are as the program sees them: a port, a count or 0, else a negative
// TESSARY_* failure. Ports are the program's own: one it has not opened is
// TESSARY_NOT_FOUND, as a file that is not there.
class ProgramNetwork {
public:
    // The other end of a datagram: its IPv4 address as one number, the
    // first part of the dotted form in the top byte (192.0.2.5 is
    // 0xC0000205), and its port.
    struct Peer {
        u32 address { 0 };
        u16 port { 0 };
    };

    virtual ~ProgramNetwork() = default;

    // `port` 0 takes a free one from the dynamic range.
    virtual i32 open(u32 port) = 0;
    virtual i32 close(u32 port) = 0;
    // Hands the datagram to the network; the length on success.
    virtual i32 send(u32 port, Peer destination, std::span<u8 const> data) = 0;
    // The oldest datagram waiting on the port, waiting up to `timeout_ms`
    // for one (0: not at all) while the network runs. On success `data`
    // holds it whole and stays valid until the next call, and the result
    // is 0.
    virtual i32 receive(u32 port, u32 timeout_ms, Peer& source, std::span<u8 const>& data) = 0;

    // The program has ended, however: every port it left open is closed,
    // and what waited on them is dropped.
    virtual void close_all() = 0;
};
