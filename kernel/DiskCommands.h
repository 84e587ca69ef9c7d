#pragma once

#include "kernel/Kernel.h"

// The disk commands: ls (all forms), mkdir, rmdir, cat, cp, rm, cd, rovazav and
// tessfs.
void register_disk_commands(Vector<Command>& table);

// The text of a file as the shell shows it: a file that cannot be read shows
// as the text "Error!". Only running out of memory for the text is an error.
ErrorOr<String> read_text_for_display(Storage& storage, String const& path);
