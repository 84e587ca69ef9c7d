#pragma once

#include "base/String.h"

// The kernel log on the first serial port (COM1): boot milestones, debug
// messages, command errors and panic details, one line per message.
class Debugger {
public:
    static void Send(String const& text);
};
