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

  // The files a step from CurrentFile would open: the next and the
  // previous one, the previous first after a step backward (either may be
  // missing).  A folder not listed yet is read for the answer only: the
  // listing itself is still made by the first step.
  std::vector<std::string> Neighbours() const;

 private:
  bool lastStepForward_ = true;
};

}  // namespace tavren
