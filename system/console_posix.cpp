#include <unistd.h>

#include <filesystem>

#include "system/console.h"
#include "system/file_names.h"

namespace tavren {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string RunningProgramPath() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : TextOf(program);
}

void PrepareConsoleOutput() {}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

}  // namespace tavren
