#pragma once

#include "kernel/Kernel.h"

// Fills the dispatcher's table. Each group of commands lives in its own file
// pair and contributes its entries through one Register...Commands function,
// called from register_commands in kernel/Commands.cpp.
void register_commands(Vector<Command>& table);

// The shell's message forms shared by the commands.
// "USAGE: ..." lines: the text on a blue background, then black again.
ErrorOr<void> write_usage(String const& text);
// "ERROR: " and the message on a red background, then black again.
ErrorOr<void> write_error(String const& message);
