#include "system/terminal.h"

#include <unistd.h>

namespace tavren {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

}  // namespace tavren
