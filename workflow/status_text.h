// The texts of the main window's message panel: what failed and why, what
// is being saved, and otherwise the name of the type on show.
#pragma once

#include <exception>
#include <string>

namespace tavren {

class TProcessEngine;

// "NAME: reason", NAME being the file's name without its folder (the name
// of a pasted picture stays as it is); the reason alone without a file.
// Control characters of the name show as '?', so the message stays one line.
std::string FailureMessage(const std::string& file, const std::string& reason);

// The reason an intake or save error gives, in words for the user.
std::string ReasonOf(const std::exception& error);

// Why stepping from the current file to the previous or next one failed.
std::string StepFailureMessage(const std::string& currentFile, bool forward);

// "Saving NAME…"
std::string SavingMessage(const std::string& file);

// The panel's text: the failure message while there is one, otherwise the
// name of the type on show (nothing before the first picture).
std::string StatusText(const std::string& failure, const TProcessEngine& engine);

}  // namespace tavren
