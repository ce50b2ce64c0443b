#include "workflow/files.h"

#include <algorithm>
#include <filesystem>

#include "workflow/fixed_texts.h"
#include "picture_io/picture_kind.h"
#include "picture_io/file_names.h"

namespace tavren {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr bool kFileNamesIgnoreCase = true;
#else
constexpr bool kFileNamesIgnoreCase = false;
#endif

// File names of a folder are at most 255 characters long.
constexpr std::size_t kMaxFileName = 255;

int CompareIgnoringCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
    const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  const int order = CompareIgnoringCase(a, b);
  return order != 0 ? order < 0 : (!kFileNamesIgnoreCase && a < b);
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return CompareIgnoringCase(a, b) == 0;
}

bool TFiles::InListedFolder() const { return FileFolder(CurrentFile) == Folder; }

void TFiles::Rescan() {
  if (!Names) Names.emplace();
  Names->clear();
  Folder = FileFolder(CurrentFile);
  std::error_code ec;
  const fs::path folder = Folder.empty() ? fs::path(".") : fs::path(Folder);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (IsOpenablePicture(name)) Names->push_back(name);
  }
  std::sort(Names->begin(), Names->end(), LessIgnoringCase);
  // Where the file system ignores letter case, two names equal but for case
  // are one file; list it once.
  if (kFileNamesIgnoreCase)
    Names->erase(std::unique(Names->begin(), Names->end(), EqualIgnoringCase), Names->end());
}

bool TFiles::Step(bool forward) {
  if (CurrentFile.empty() || CurrentFile == sPastedImageName) return false;
  std::string name = FileNameOf(CurrentFile);
  if (name.size() > kMaxFileName) name.resize(kMaxFileName);
  if (!InListedFolder()) Rescan();
  if (!Names || Names->size() < 2) return false;

  auto position = std::find(Names->begin(), Names->end(), name);
  if (position == Names->end())
    position = std::find_if(Names->begin(), Names->end(),
                            [&](const std::string& n) { return EqualIgnoringCase(n, name); });
  if (position == Names->end()) return false;
  if (forward) {
    if (position + 1 == Names->end()) return false;
    ++position;
  } else {
    if (position == Names->begin()) return false;
    --position;
  }
  CurrentFile = Folder + *position;
  return true;
}

}  // namespace tavren
