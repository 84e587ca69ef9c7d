#pragma once

#include "base/String.h"

// The last word after a processor exception.
class BSOD {
public:
    [[noreturn]] static void Panic(String const& message);
    // Writes text straight into row 0 of text memory with one attribute,
    // without the console: for failures where the console cannot be trusted.
    static void WriteRawLine(char const* text, u8 attribute);
};
