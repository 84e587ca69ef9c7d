#pragma once

#include "kernel/Kernel.h"

// The games and demonstrations: snake, matrix, lolz, fillcon, credits,
// stopwatch and about.
void RegisterGameCommands(Vector<Command>& table);
