#pragma once

#include "base/Error.h"

// TessScript: the shell's line-oriented script language. A script is run
// line by line; lines are the pieces between line feeds, and the text after
// the last line feed is not a line (a statement there does not run). Lines
// that are no statement are skipped.
//
//   push <text>    push the text on the stack
//   push$ <text>   the same
//   wait <n>       reports that waiting is not implemented
//   wfk            waits for a key
//   cls            clears the console
class TessScript {
public:
    // Always 0 unless the console fails.
    ErrorOr<i32> run(String const& script);

    // Values pushed by every script this interpreter ran; it is kept between
    // runs.
    Vector<String> const& stack() const { return m_stack; }

private:
    Vector<String> m_stack;
};
