#pragma once

#include "kernel/Kernel.h"

// The two text editors: `textedit`, the line editor TESSTEXT, and `tswrite`,
// the full-screen editor TSWRITE. Both keep documents in "/documents" under
// the typed name with ".txt" appended.
void register_editor_commands(Vector<Command>& table);
