#pragma once

// Host programs only (tessfs and the tests): the system's string as a
// std::string of the low 8 bits of its characters, the bytes the screen and
// the disk keep, for printing and for comparing with literals.

#include "base/String.h"

#include <string>

inline std::string ascii(String const& s)
{
    std::string out;
    for (char16_t c : s.chars())
        out += static_cast<char>(c & 0xFF);
    return out;
}
