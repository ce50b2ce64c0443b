#include "system/console.h"
#include "system/wide_text_win.h"

#include <shellapi.h>  // after windows.h

namespace tavren {

std::vector<std::string> CommandLineArguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; wide != nullptr && i < count; ++i) arguments.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::string RunningProgramPath() {
  std::wstring path(32768, L'\0');  // the longest path the system takes
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  return Narrow(path);
}

void PrepareConsoleOutput() { SetConsoleOutputCP(CP_UTF8); }

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace tavren
