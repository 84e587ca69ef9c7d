#pragma once

#include "kernel/Kernel.h"

// The games and demonstrations: snake, matrix, lolz, fillcon, credits,
// stopwatch and about.
void register_game_commands(Vector<Command>& table);
