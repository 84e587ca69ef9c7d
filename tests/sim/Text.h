#pragma once

// The system's 16-bit strings as std::string (the low byte of every
// character), so tests can compare them with literals.

#include "base/String.h"

#include <string>

inline std::string ascii(String const& s)
{
    std::string out;
    for (char16_t c : s.chars())
        out += static_cast<char>(c & 0xFF);
    return out;
}
