#include "cli/options.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "picture_io/save_names.h"
#include "picture_io/file_names.h"

namespace tavren::cli {

TTypePreset TCliOptions::Preset() const {
  return manual ? manualSettings : TypePresets[static_cast<std::size_t>(type)];
}

std::string UsageText() {
  return "usage: tavren enhance [--type original|light|normal|deep]\n"
         "                      [--lumora off|weak|normal|strong] [--artifact-suppression]\n"
         "                      [--clarivex off|weak|normal|strong] [--color-distortion-suppression]\n"
         "                      [--fit WIDTHxHEIGHT] [-o FILE | --out-dir DIR] [--force] [-j N]\n"
         "                      PICTURE...\n"
         "       tavren info PICTURE...\n"
         "       tavren --version | --help\n";
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
    if (command == "--help" || command == "-h" || command == "help")
      return Finish(TCommand::Help);
    if (command == "--version") return Finish(TCommand::Version);
    if (command == "enhance") {
      options_.command = TCommand::Enhance;
    } else if (command == "info") {
      options_.command = TCommand::Info;
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
    if (optionsEnded_ || word == "-" || word.empty() || word[0] != '-') {
      options_.pictures.push_back(word);
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
    const bool enhance = options_.command == TCommand::Enhance;
    if (!enhance) return Error("option " + name + " is not for 'info'");
    if (name == "--artifact-suppression" || name == "--color-distortion-suppression") {
      if (attached) return Error("option " + name + " takes no value");
      options_.manual = true;
      if (name == "--artifact-suppression")
        options_.manualSettings.ArtifactSuppression = 1;
      else
        options_.manualSettings.SuppressColorDistortion = 1;
    } else if (name == "--force") {
      if (attached) return Error("option --force takes no value");
      options_.force = true;
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
      if (!type) return Error("--type must be original, light, normal or deep, not '" + value + "'");
      options_.type = *type;
      typeGiven_ = true;
    } else if (name == "--lumora" || name == "--clarivex") {
      const auto strength = StrengthNamed(AsciiLower(value));
      if (!strength) return Error(name + " must be off, weak, normal or strong, not '" + value + "'");
      options_.manual = true;
      if (name == "--lumora")
        options_.manualSettings.LumoraStrength = *strength;
      else
        options_.manualSettings.ClarivexStrength = *strength;
    } else if (name == "--fit") {
      ReadFit(value);
    } else if (name == "-o" || name == "--output") {
      if (value.empty()) return Error("the output file name is empty");
      options_.outputFile = value;
    } else if (name == "--out-dir") {
      if (value.empty()) return Error("the output folder name is empty");
      options_.outputDir = value;
    } else {
      const auto jobs = PositiveNumber(value, kMaxJobs);
      if (!jobs) return Error("-j needs a number of 1 to " + std::to_string(kMaxJobs));
      options_.jobs = *jobs;
    }
  }

  void ReadFit(const std::string& value) {
    const std::size_t x = AsciiLower(value).find('x');
    const auto width = x == std::string::npos ? std::nullopt
                                              : PositiveNumber(value.substr(0, x), kMaxFitSide);
    const auto height = x == std::string::npos ? std::nullopt
                                               : PositiveNumber(value.substr(x + 1), kMaxFitSide);
    if (!width || !height) return Error("--fit needs WIDTHxHEIGHT, for example 1920x1080");
    options_.fit = true;
    options_.fitWidth = *width;
    options_.fitHeight = *height;
  }

  TParseResult Check() {
    if (options_.pictures.empty()) return Fail("no picture given");
    if (options_.command != TCommand::Enhance) return Finish(options_.command);
    if (typeGiven_ && options_.manual)
      return Fail("--type cannot be combined with --lumora, --clarivex or the suppression options");
    if (!options_.outputFile.empty()) {
      if (!options_.outputDir.empty()) return Fail("give either -o or --out-dir, not both");
      if (options_.pictures.size() > 1) return Fail("-o names one output; use --out-dir for several pictures");
      if (OutputKindOf(options_.outputFile) == TOutputKind::Unsupported)
        return Fail("the output must end in .jpg, .jpeg or .bmp: '" + options_.outputFile + "'");
    }
    return Finish(options_.command);
  }

  void Error(const std::string& message) {
    if (error_.empty()) error_ = message;
  }
  TParseResult Fail(const std::string& message) {
    TParseResult result;
    result.error = message;
    return result;
  }
  TParseResult Finish(TCommand command) {
    options_.command = command;
    TParseResult result;
    result.ok = true;
    result.options = options_;
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

TParseResult ParseCommandLine(const std::vector<std::string>& args) {
  return Parser(args).Run();
}

TOutputKind OutputKindOf(const std::string& path) {
  const std::string ext = AsciiLower(FileExt(path));
  if (ext == ".jpg" || ext == ".jpeg") return TOutputKind::Jpeg;
  if (ext == ".bmp") return TOutputKind::Bmp;
  return TOutputKind::Unsupported;
}

std::string OutputPathFor(const TCliOptions& options, const std::string& picture) {
  if (!options.outputFile.empty()) return options.outputFile;
  const std::string name = ForceJpgExt(CopyFileName(FileNameOf(picture), "copy"));
  if (options.outputDir.empty()) return FileFolder(picture) + name;
  return (std::filesystem::path(options.outputDir) / name).string();
}

}  // namespace tavren::cli
