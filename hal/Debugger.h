#pragma once

#include "base/String.h"

#include <initializer_list>

// The kernel log on the first serial port (COM1): boot milestones, debug
// messages, command errors and panic details, one line per message.
namespace Debugger {
void send(String const& text);
// The pieces in order on one line, without allocating: for failures
// where the heap cannot be trusted.
void send(std::initializer_list<char const*> pieces);
}
