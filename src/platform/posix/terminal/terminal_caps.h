// What the terminal on stdout can do, asked of its terminfo entry without a byte written
// to it.
#pragma once

namespace zenpo::platform {

// Whether the terminal can place the cursor anywhere; false for TERM=dumb and the like,
// and when $TERM names no known terminal.
bool TerminalCanPlaceCursor();

}  // namespace zenpo::platform
