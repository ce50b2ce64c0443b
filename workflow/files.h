// The folder navigator: which picture is on show, and the previous or next
// supported picture of its folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavren {

class TFiles {
 public:
  // The path of the picture on show; sPastedImageName after a paste; empty
  // before the first picture.
  std::string CurrentFile;
  // The folder whose listing Names holds, with its trailing separator.
  std::string Folder;
  // The supported file names of Folder in the user's order
  // (PictureNamesInFolder); absent until the first listing.
  std::optional<std::vector<std::string>> Names;

  // True when CurrentFile's folder is the listed one (letter case included).
  bool InListedFolder() const;
  // Lists the supported pictures of CurrentFile's folder.
  void Rescan();
  // Moves CurrentFile to the previous or next listed file; false (and
  // CurrentFile unchanged) when there is none.  No wrap-around.
  bool Step(bool forward);
};

}  // namespace tavren
