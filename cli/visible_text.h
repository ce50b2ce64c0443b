// Texts from files and file names, made safe to print on a terminal.
#pragma once

#include <string>

namespace tavren::cli {

// text with every control character shown as an escape instead of being
// sent to the terminal: C0 controls and DEL as "\x1b", C1 controls written
// in UTF-8 as "\u009b", and bytes that are no part of a UTF-8 character (a
// lone 0x9B, which 8-bit terminals obey) as "\x9b".  Other characters,
// accented and non-Latin letters included, stay as they are.
std::string VisibleText(const std::string& text);

}  // namespace tavren::cli
