#include "workflow/status_text.h"

#include <new>

#include "system/error.h"
#include "system/file_names.h"
#include "workflow/fixed_texts.h"
#include "workflow/process_engine.h"

namespace tavren {

namespace {

std::string ShownName(const std::string& file) {
  std::string name = file == sPastedImageName ? file : FileNameOf(file);
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return name;
}

}  // namespace

std::string FailureMessage(const std::string& file, const std::string& reason) {
  if (file.empty()) return reason;
  return ShownName(file) + ": " + reason;
}

std::string ReasonOf(const std::exception& error) {
  if (const auto* intake = dynamic_cast<const TavrenError*>(&error)) return intake->reason();
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr)
    return "not enough memory for this picture";
  return error.what();
}

std::string StepFailureMessage(const std::string& currentFile, bool forward) {
  if (currentFile.empty()) return "No picture is open.";
  if (currentFile == sPastedImageName)
    return FailureMessage(currentFile, "a pasted picture has no folder to step through");
  return FailureMessage(
      currentFile, forward ? "no next picture in its folder" : "no previous picture in its folder");
}

std::string SavingMessage(const std::string& file) {
  return "Saving " + ShownName(file) + "\u2026";
}

std::string StatusText(const std::string& failure, const TProcessEngine& engine) {
  return failure.empty() ? engine.ShownTypeName() : failure;
}

}  // namespace tavren
