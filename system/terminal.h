// Whether the program talks to a person at a terminal.
#pragma once

namespace tavren {

// True when the standard error stream is a terminal.
bool StandardErrorIsTerminal();

}  // namespace tavren
