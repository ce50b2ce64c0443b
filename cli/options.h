// The command line of `tavren`: what the user asked for, and the names of
// the files it writes.  Parsing does no file access, so it is tested alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "enhance/process_types.h"

namespace tavren::cli {

enum class TCommand { Enhance, Info, Help, Version };

struct TCliOptions {
  TCommand Command = TCommand::Help;

  // enhance: an automatic type, or a manual setting (any strength or
  // suppression flag) computed as the Manual Tuning panel computes it.
  TProcessType Type = ptNormal;
  bool Manual = false;
  TTypePreset ManualSettings{};  // strengths not named stay Off

  // --fit WIDTHxHEIGHT: reduce as the window reduces to its view first.
  bool Fit = false;
  std::int32_t FitWidth = 0;
  std::int32_t FitHeight = 0;

  // --keep-metadata: the source's EXIF, XMP and IPTC go into the saved
  // JPEG as well (TMetadataCarryOver::Everything).
  bool KeepMetadata = false;

  std::string OutputFile;  // -o
  std::string OutputDir;   // --out-dir
  bool Force = false;
  int Jobs = 1;
  bool Quiet = false;  // -q: no progress on a terminal

  // --max-megapixels: the intake's picture limit for this run (0: the
  // default or TAVREN_MAX_MEGAPIXELS).
  std::int64_t MaxMegapixels = 0;

  std::vector<std::string> Pictures;

  // The strengths and options the pictures are processed with.
  TTypePreset Preset() const;
};

struct TParseResult {
  bool Ok = false;
  std::string Error;  // why the command line is not usable (when !ok)
  TCliOptions Options;
};

// args are the words after the program name.
TParseResult ParseCommandLine(const std::vector<std::string>& args);

// The short usage shown after a usage error.
std::string UsageText();
// What --help prints: the usage, then every option with its default, the
// types, manual settings, output names, formats and exit statuses.
std::string HelpText();

// The file kinds `enhance` writes, chosen by the output's extension
// (case-insensitive): .jpg and .jpeg, .bmp.
enum class TOutputKind { Jpeg, Bmp, Unsupported };
TOutputKind OutputKindOf(const std::string& path);

// Where the result of picture goes: -o as given; otherwise the picture's
// name with "copy" before its extension and the extension .jpg, in the
// picture's folder or in --out-dir.
std::string OutputPathFor(const TCliOptions& options, const std::string& picture);

// Upper bounds of the numbers the user may give.
inline constexpr int kMaxJobs = 256;
inline constexpr std::int32_t kMaxFitSide = 1000000;

}  // namespace tavren::cli
