#include "workflow/files.h"

#include <algorithm>

#include "picture_io/folder_pictures.h"
#include "system/file_names.h"
#include "workflow/fixed_texts.h"

namespace tavren {

namespace {

// File names of a folder are at most 255 characters long.
constexpr std::size_t kMaxFileName = 255;

bool CanStep(const std::string& currentFile) {
  return !currentFile.empty() && currentFile != sPastedImageName;
}

// Where CurrentFile's name stands in names (exactly, else ignoring case).
std::optional<std::size_t> PositionOf(const std::vector<std::string>& names,
                                      const std::string& currentFile) {
  std::string name = FileNameOf(currentFile);
  if (name.size() > kMaxFileName) name.resize(kMaxFileName);
  auto position = std::find(names.begin(), names.end(), name);
  if (position == names.end())
    position = std::find_if(names.begin(), names.end(),
                            [&](const std::string& n) { return EqualIgnoringCase(n, name); });
  if (position == names.end()) return std::nullopt;
  return static_cast<std::size_t>(position - names.begin());
}

}  // namespace

bool TFiles::InListedFolder() const { return FileFolder(CurrentFile) == Folder; }

void TFiles::Rescan() {
  Folder = FileFolder(CurrentFile);
  Names = PictureNamesInFolder(Folder);
}

bool TFiles::Step(bool forward) {
  if (!CanStep(CurrentFile)) return false;
  // A bare name's folder is "", as an unlisted navigator's is: the listing
  // itself must be there too.
  if (!Names || !InListedFolder()) Rescan();
  if (!Names || Names->size() < 2) return false;
  const std::optional<std::size_t> position = PositionOf(*Names, CurrentFile);
  if (!position) return false;
  if (forward ? *position + 1 == Names->size() : *position == 0) return false;
  CurrentFile = Folder + (*Names)[forward ? *position + 1 : *position - 1];
  lastStepForward_ = forward;
  return true;
}

std::vector<std::string> TFiles::Neighbours() const {
  std::vector<std::string> neighbours;
  if (!CanStep(CurrentFile)) return neighbours;
  const std::string folder = FileFolder(CurrentFile);
  const std::vector<std::string> listed =
      InListedFolder() && Names ? *Names : PictureNamesInFolder(folder);
  const std::optional<std::size_t> position = PositionOf(listed, CurrentFile);
  if (!position) return neighbours;
  if (*position + 1 < listed.size()) neighbours.push_back(folder + listed[*position + 1]);
  if (*position > 0) {
    const std::string previous = folder + listed[*position - 1];
    neighbours.insert(lastStepForward_ ? neighbours.end() : neighbours.begin(), previous);
  }
  return neighbours;
}

}  // namespace tavren
