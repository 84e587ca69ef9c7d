#pragma once

#include "hal/Console.h"

// Coloured writes for the shell's commands and games.

// The shell's message forms.
// "USAGE: ..." lines: the text on a blue background, then black again.
ErrorOr<void> write_usage(String const& text);
// "ERROR: " and the message on a red background, then black again.
ErrorOr<void> write_error(String const& message);

// Writes the text in the colour and leaves the foreground white, whatever it
// was before.
ErrorOr<void> write_coloured(String const& text, ConsoleColor color);
// Writes the text in the colour, optionally centred on the row (centre_x) and
// on the middle row of the screen (centre_y); afterwards the cursor and the
// foreground are back where they were, so the caller goes on writing where it
// stood.
ErrorOr<void> write_centred(String const& text, ConsoleColor color, bool centre_x, bool centre_y);
// write_centred, ending the line.
ErrorOr<void> write_line_centred(String const& text, ConsoleColor color, bool centre_x, bool centre_y);
