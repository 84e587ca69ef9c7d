#pragma once

#include "base/String.h"
#include "hal/Keyboard.h"

#include <optional>

// Splits a command line at its first space: nothing for an empty line, the
// whole line when it has no space, otherwise the text before and after.
Vector<String> SplitAtFirstSpace(String const& line);

// The text of a key identifier, used by the key echo test and the editor.
String getKeyFromKey(ConsoleKey key);

// A command's argument string: absent when the line had no space.
using Argument = std::optional<String>;

// Absent, empty or only white space.
inline bool IsBlank(Argument const& argument) { return !argument || argument->is_blank(); }
