// Runs a program as a user would, in a child process bounded in time and
// memory: a hang or a runaway allocation ends the child and fails the test
// instead of stalling or exhausting the machine.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace tavren::test {

struct TProgramRun {
  std::vector<std::string> Args;         // args[0] is the program
  std::vector<std::string> Environment;  // "NAME=value" set in addition
  bool StderrOnTerminal = false;         // stderr on a pseudo-terminal
  int Seconds = 60;                      // wall-clock bound
  // Called on a thread of its own with the child's process id as soon as
  // it runs (to send it signals, for one).
  std::function<void(pid_t)> DuringRun;
};

struct TProgramResult {
  int Status = -1;        // exit status; -1 when ended by a signal
  int Signal = 0;         // the signal that ended it
  bool TimedOut = false;  // killed at the wall-clock bound
  long MaxResidentKb = 0;
  std::string Out;
  std::string Err;
};

// False where no pseudo-terminal can be opened (a chroot without /dev/pts):
// a run with StderrOnTerminal then gets its stderr through a file.
bool CanOpenPseudoTerminal();

// Runs the program; besides the time bound, the child may use 60 s of
// processor time and (without AddressSanitizer, whose shadow memory such a
// limit would break) 2 GB of address space.
TProgramResult RunProgram(const TProgramRun& run);

}  // namespace tavren::test
