#include "cli/options.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "picture_io/picture_formats.h"
#include "picture_io/picture_limits.h"
#include "picture_io/save_names.h"
#include "system/file_names.h"

namespace tavren::cli {

TTypePreset TCliOptions::Preset() const {
  return Manual ? ManualSettings : TypePresets[static_cast<std::size_t>(Type)];
}

std::string UsageText() {
  return "usage: tavren enhance [--type original|light|normal|deep]\n"
         "                      [--lumora off|weak|normal|strong] [--artifact-suppression]\n"
         "                      [--clarivex off|weak|normal|strong] "
         "[--color-distortion-suppression]\n"
         "                      [--fit WIDTHxHEIGHT] [--keep-metadata]\n"
         "                      [-o FILE | --out-dir DIR] [--force] [-j N] [-q]\n"
         "                      [--max-megapixels N] PICTURE|FOLDER...\n"
         "       tavren info [--max-megapixels N] PICTURE|FOLDER...\n"
         "       tavren --version | --help\n";
}

std::string HelpText() {
  return UsageText() + R"(
Enhances photos as the Brisolm Tavren window does: Clarivex haze removal,
then Lumora tone correction, on the whole picture.

Commands:
  enhance   write an enhanced copy of every picture
  info      print each picture's width, height, camera make and model (read
            from the file's headers; the picture is not decoded)

Types (--type; the default is normal):
  original  the picture unchanged (only re-encoded)
  light     Clarivex normal, then Lumora weak
  normal    Clarivex normal, then Lumora normal
  deep      Clarivex strong, then Lumora strong

Manual settings, as the window's Manual Tuning panel computes them.  Any of
these makes a manual setting instead of a type; a strength not named is off,
and they cannot be combined with --type:
  --clarivex off|weak|normal|strong    haze removal strength
  --lumora off|weak|normal|strong      tone correction strength
  --artifact-suppression               Lumora with artifact suppression
  --color-distortion-suppression       Clarivex with colour-distortion
                                       suppression

Options:
  --type TYPE         one of the types above; default: normal
  --fit WIDTHxHEIGHT  first reduce the picture as the window reduces it to a
                      view of that size (aspect ratio kept, never enlarged);
                      default: the full picture, as when the window saves
  -o FILE             the output file (one picture only)
  --out-dir DIR       put the outputs in DIR, made (with its parents) when
                      missing; default: beside each picture
  --force             replace existing outputs; default: an existing file is
                      left alone and reported
  -j N                enhance N pictures at once (1 to 256); default: 1
  -q                  no progress on a terminal (failures are still shown)
  --keep-metadata     keep the shooting date, exposure, GPS place, XMP and
                      IPTC too (JPEG output only; see below); default: off
  --max-megapixels N  refuse pictures above N megapixels (1 to 715) before
                      decoding them; default: 200, or the environment
                      variable TAVREN_MAX_MEGAPIXELS
  -h, --help          this text;  --version  the program's version

Pictures: JPEG (.jpg, .jpeg, .jfif, .jpe), BMP (.bmp), HEIC/HEIF (.heic,
.heif, .hif; AVIF, .avif, where libheif decodes it), PNG (.png), TIFF (.tif,
.tiff) and WebP (.webp) files.  A folder stands for the pictures directly
in it, in the order the window's PgUp and PgDn walk them; a folder without
pictures is an error.

Output names: without -o, the output of photo.jpg is photocopy.jpg, of
scan.bmp scancopy.jpg, beside the picture or in --out-dir.  The extension
chooses the format: .jpg or .jpeg writes a progressive JPEG of the best
quality that keeps the camera make and model (at most 65500 pixels a side);
.bmp writes a 24-bit BMP (lossless).  A file is replaced only by a complete
new one, and only a regular file (through a link, the file it points to).

What a JPEG keeps: the picture's camera make and model and its colour
profile; its shooting date, exposure settings, GPS place, XMP and IPTC are
dropped.  --keep-metadata keeps those too, with the orientation set to
upright, the saved picture's size, and the thumbnail and the maker's private
notes left out.  A picture whose metadata cannot be read is then saved as
without the option, with the warning "tavren: FILE: metadata not kept:
reason" (exit status 0).

Progress: on a terminal, "k/N PICTURE" on stderr as each picture is done;
nothing without a terminal.  Failures: "tavren: FILE: reason" on stderr.

Exit status: 0 every picture succeeded, 1 any picture failed, 2 a usage
error (nothing was done).
)";
}

namespace {

std::optional<TProcessType> TypeNamed(const std::string& name) {
  if (name == "original") return ptOriginal;
  if (name == "light") return ptLight;
  if (name == "normal") return ptNormal;
  if (name == "deep") return ptDeep;
  return std::nullopt;
}

std::optional<std::uint8_t> StrengthNamed(const std::string& name) {
  if (name == "off") return 0;
  if (name == "weak") return 1;
  if (name == "normal") return 2;
  if (name == "strong") return 3;
  return std::nullopt;
}

// A decimal number of 1..limit written with digits only.
std::optional<std::int32_t> PositiveNumber(const std::string& text, std::int32_t limit) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > limit) return std::nullopt;
  return value;
}

// The words of the command line, one at a time, with "--name=value" split.
class ArgReader {
 public:
  explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}
  bool Done() const { return index_ >= args_.size(); }
  std::string Next() { return args_[index_++]; }
  // The value of the option just read: the part after '=' or the next word.
  std::optional<std::string> Value(const std::optional<std::string>& attached) {
    if (attached) return attached;
    if (Done()) return std::nullopt;
    return Next();
  }

 private:
  const std::vector<std::string>& args_;
  std::size_t index_ = 0;
};

class Parser {
 public:
  explicit Parser(const std::vector<std::string>& args) : reader_(args) {}

  TParseResult Run() {
    if (reader_.Done()) return Fail("no command given");
    const std::string command = reader_.Next();
    if (command == "--help" || command == "-h" || command == "help") return Finish(TCommand::Help);
    if (command == "--version") return Finish(TCommand::Version);
    if (command == "enhance") {
      options_.Command = TCommand::Enhance;
    } else if (command == "info") {
      options_.Command = TCommand::Info;
    } else {
      return Fail("unknown command '" + command + "'");
    }
    while (!reader_.Done() && error_.empty()) ReadWord(reader_.Next());
    if (helpRequested_) return Finish(TCommand::Help);
    if (!error_.empty()) return Fail(error_);
    return Check();
  }

 private:
  void ReadWord(const std::string& word) {
    if (word.empty()) return Error("a picture name is empty");
    if (optionsEnded_ || word == "-" || word[0] != '-') {
      options_.Pictures.push_back(word);
      return;
    }
    if (word == "--") {
      optionsEnded_ = true;
      return;
    }
    std::string name = word;
    std::optional<std::string> attached;
    const std::size_t equals = word.find('=');
    if (word.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = word.substr(0, equals);
      attached = word.substr(equals + 1);
    } else if (word.size() > 2 && word[1] != '-' && (word[1] == 'o' || word[1] == 'j')) {
      name = word.substr(0, 2);  // -oFILE, -j4
      attached = word.substr(2);
    }
    ReadOption(name, attached);
  }

  void ReadOption(const std::string& name, const std::optional<std::string>& attached) {
    if (name == "--help" || name == "-h") {
      helpRequested_ = true;
      return;
    }
    if (name == "--max-megapixels") {
      const std::optional<std::string> value = reader_.Value(attached);
      if (!value) return Error("option " + name + " needs a value");
      const auto megapixels = ParseMegapixels(*value);
      if (!megapixels)
        return Error("--max-megapixels needs a whole number of 1 to " +
                     std::to_string(kLargestPicturePixels / 1'000'000) + ", not '" + *value + "'");
      options_.MaxMegapixels = *megapixels;
      return;
    }
    const bool enhance = options_.Command == TCommand::Enhance;
    if (!enhance) return Error("option " + name + " is not for 'info'");
    if (name == "--artifact-suppression" || name == "--color-distortion-suppression") {
      if (attached) return Error("option " + name + " takes no value");
      options_.Manual = true;
      if (name == "--artifact-suppression")
        options_.ManualSettings.ArtifactSuppression = 1;
      else
        options_.ManualSettings.SuppressColorDistortion = 1;
    } else if (name == "--force" || name == "-q" || name == "--quiet" ||
               name == "--keep-metadata") {
      if (attached) return Error("option " + name + " takes no value");
      if (name == "--force")
        options_.Force = true;
      else if (name == "--keep-metadata")
        options_.KeepMetadata = true;
      else
        options_.Quiet = true;
    } else if (name == "--type" || name == "--lumora" || name == "--clarivex" || name == "--fit" ||
               name == "-o" || name == "--output" || name == "--out-dir" || name == "-j" ||
               name == "--jobs") {
      const std::optional<std::string> value = reader_.Value(attached);
      if (!value) return Error("option " + name + " needs a value");
      ReadValueOption(name, *value);
    } else {
      Error("unknown option '" + name + "'");
    }
  }

  void ReadValueOption(const std::string& name, const std::string& value) {
    if (name == "--type") {
      const auto type = TypeNamed(AsciiLower(value));
      if (!type)
        return Error("--type must be original, light, normal or deep, not '" + value + "'");
      options_.Type = *type;
      typeGiven_ = true;
    } else if (name == "--lumora" || name == "--clarivex") {
      const auto strength = StrengthNamed(AsciiLower(value));
      if (!strength)
        return Error(name + " must be off, weak, normal or strong, not '" + value + "'");
      options_.Manual = true;
      if (name == "--lumora")
        options_.ManualSettings.LumoraStrength = *strength;
      else
        options_.ManualSettings.ClarivexStrength = *strength;
    } else if (name == "--fit") {
      ReadFit(value);
    } else if (name == "-o" || name == "--output") {
      if (value.empty()) return Error("the output file name is empty");
      options_.OutputFile = value;
    } else if (name == "--out-dir") {
      if (value.empty()) return Error("the output folder name is empty");
      options_.OutputDir = value;
    } else {
      const auto jobs = PositiveNumber(value, kMaxJobs);
      if (!jobs) return Error("-j needs a number of 1 to " + std::to_string(kMaxJobs));
      options_.Jobs = *jobs;
    }
  }

  void ReadFit(const std::string& value) {
    const std::size_t x = AsciiLower(value).find('x');
    const auto width =
        x == std::string::npos ? std::nullopt : PositiveNumber(value.substr(0, x), kMaxFitSide);
    const auto height =
        x == std::string::npos ? std::nullopt : PositiveNumber(value.substr(x + 1), kMaxFitSide);
    if (!width || !height) return Error("--fit needs WIDTHxHEIGHT, for example 1920x1080");
    options_.Fit = true;
    options_.FitWidth = *width;
    options_.FitHeight = *height;
  }

  TParseResult Check() {
    if (options_.Pictures.empty()) return Fail("no picture given");
    if (options_.Command != TCommand::Enhance) return Finish(options_.Command);
    if (typeGiven_ && options_.Manual)
      return Fail("--type cannot be combined with --lumora, --clarivex or the suppression options");
    if (!options_.OutputFile.empty()) {
      if (!options_.OutputDir.empty()) return Fail("give either -o or --out-dir, not both");
      if (options_.Pictures.size() > 1)
        return Fail("-o names one output; use --out-dir for several pictures");
      if (OutputKindOf(options_.OutputFile) == TOutputKind::Unsupported)
        return Fail("the output must end in .jpg, .jpeg or .bmp: '" + options_.OutputFile + "'");
      if (options_.KeepMetadata && OutputKindOf(options_.OutputFile) == TOutputKind::Bmp)
        return Fail("--keep-metadata needs a JPEG output; a BMP file holds no metadata");
    }
    return Finish(options_.Command);
  }

  void Error(const std::string& message) {
    if (error_.empty()) error_ = message;
  }
  TParseResult Fail(const std::string& message) {
    TParseResult result;
    result.Error = message;
    return result;
  }
  TParseResult Finish(TCommand command) {
    options_.Command = command;
    TParseResult result;
    result.Ok = true;
    result.Options = options_;
    return result;
  }

  ArgReader reader_;
  TCliOptions options_;
  std::string error_;
  bool typeGiven_ = false;
  bool optionsEnded_ = false;
  bool helpRequested_ = false;
};

}  // namespace

TParseResult ParseCommandLine(const std::vector<std::string>& args) { return Parser(args).Run(); }

TOutputKind OutputKindOf(const std::string& path) {
  // The formats the table writes, each by the writer the command has for it.
  const TPictureFormat* format = FormatSavedAs(path);
  if (format != nullptr && format->Name == "JPEG") return TOutputKind::Jpeg;
  if (format != nullptr && format->Name == "BMP") return TOutputKind::Bmp;
  return TOutputKind::Unsupported;
}

std::string OutputPathFor(const TCliOptions& options, const std::string& picture) {
  if (!options.OutputFile.empty()) return options.OutputFile;
  const std::string name = ForceJpgExt(CopyFileName(FileNameOf(picture), "copy"));
  if (options.OutputDir.empty()) return FileFolder(picture) + name;
  return JoinPath(options.OutputDir, name);
}

}  // namespace tavren::cli
