// The command line and the terminal a command-line program talks through.
#pragma once

#include <string>
#include <vector>

namespace tavren {

// The program's arguments after its name, as UTF-8 text: argv itself here;
// on Windows the wide command line, so that any file name arrives whole.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The file of the running program; empty when the system does not tell.
std::string RunningProgramPath();

// Makes the terminal show the UTF-8 text the program writes (the console's
// code page on Windows; nothing to do here).
void PrepareConsoleOutput();

// True when the standard error stream is a terminal.
bool StandardErrorIsTerminal();

}  // namespace tavren
