// Stands in for the program the shell opens a page with: writes the path
// it was asked to open, in UTF-8, to a record file.
// Registered as: open_recorder.exe RECORD "%1"
#include <windows.h>
// The system's other headers need windows.h before them.
#include <shellapi.h>

#include <cstdio>
#include <string>

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr || count != 3) return 2;
  const int size = WideCharToMultiByte(CP_UTF8, 0, args[2], -1, nullptr, 0, nullptr, nullptr);
  std::string page(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, args[2], -1, page.data(), size, nullptr, nullptr);
  FILE* record = _wfopen(args[1], L"wb");
  if (record == nullptr) return 1;
  std::fputs(page.c_str(), record);
  return std::fclose(record) == 0 ? 0 : 1;
}
