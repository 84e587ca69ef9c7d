#pragma once

#include "base/String.h"
#include "hal/Keyboard.h"

#include <optional>

// Splits a command line at its first space: nothing for an empty line, the
// whole line when it has no space, otherwise the text before and after.
Vector<String> split_at_first_space(String const& line);

// The text of a key identifier, used by the key echo test and the editor.
String get_key_from_key(ConsoleKey key);

// Takes the keys typed on `keyboard` so far and says whether Escape was
// among them: how long-running commands are stopped.
bool escape_pressed(Keyboard& keyboard);

// A command's argument string: absent when the line had no space.
using Argument = std::optional<String>;

// Absent, empty or only white space.
inline bool is_blank(Argument const& argument) { return !argument || argument->is_blank(); }
