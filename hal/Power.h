#pragma once

// Restart through the keyboard controller: its command 0xFE pulses the
// processor's reset line, which every PC since the AT has wired up.
namespace Power {
// Returns only if the controller ignored the command.
void restart_through_keyboard_controller();
}
