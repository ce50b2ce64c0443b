#include "workflow/files.h"

#include <algorithm>

#include "picture_io/file_names.h"
#include "picture_io/folder_pictures.h"
#include "workflow/fixed_texts.h"

namespace tavren {

namespace {

// File names of a folder are at most 255 characters long.
constexpr std::size_t kMaxFileName = 255;

}  // namespace

bool TFiles::InListedFolder() const { return FileFolder(CurrentFile) == Folder; }

void TFiles::Rescan() {
  Folder = FileFolder(CurrentFile);
  Names = PictureNamesInFolder(Folder);
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
