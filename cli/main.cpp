// tavren: the command-line enhancer.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/run.h"
#include "cli/visible_text.h"
#include "picture_io/file_info.h"
#include "picture_io/picture_limits.h"
#include "system/console.h"
#include "system/error.h"
#include "system/termination_requests.h"

namespace {

// The picture limit: --max-megapixels, else a valid TAVREN_MAX_MEGAPIXELS;
// an invalid variable is a usage error rather than silently ignored.
bool SetPictureLimit(std::int64_t megapixels) {
  if (megapixels > 0) {
    tavren::SetMaxPicturePixels(megapixels * 1'000'000);
    return true;
  }
  const char* variable = std::getenv(tavren::kMaxMegapixelsVariable);
  if (variable == nullptr || tavren::ParseMegapixels(variable)) return true;
  std::fprintf(stderr, "tavren: %s must be a whole number of megapixels of 1 to %lld\n",
               tavren::kMaxMegapixelsVariable,
               static_cast<long long>(tavren::kLargestPicturePixels / 1'000'000));
  return false;
}

// The version the program's own file carries (its version resource on
// Windows), or the one it was built with when the file does not tell.
std::string VersionText() {
  try {
    tavren::TFileInfo program(tavren::RunningProgramPath());
    const std::string text = program.GetVersionText();
    if (!text.empty()) return text;
  } catch (const tavren::TavrenError&) {
  }
  return TAVREN_VERSION_TEXT;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavren::cli;
  // Folder arguments are listed in the user's order of names.
  std::setlocale(LC_COLLATE, "");
  std::setlocale(LC_CTYPE, "");
  tavren::PrepareConsoleOutput();
  const TParseResult parsed = ParseCommandLine(tavren::CommandLineArguments(argc, argv));
  if (!parsed.Ok) {
    std::fprintf(stderr, "tavren: %s\n%s", VisibleText(parsed.Error).c_str(), UsageText().c_str());
    return 2;
  }
  switch (parsed.Options.Command) {
    case TCommand::Help:
      std::fputs(HelpText().c_str(), stdout);
      return 0;
    case TCommand::Version:
      std::printf("tavren %s\n", VersionText().c_str());
      return 0;
    case TCommand::Info:
    case TCommand::Enhance:
      break;
  }
  if (!SetPictureLimit(parsed.Options.MaxMegapixels)) return 2;
  // Ending on a request leaves no half-written file behind.
  tavren::RemoveTemporaryFilesOnTermination();
  return parsed.Options.Command == TCommand::Info ? RunInfo(parsed.Options)
                                                  : RunEnhance(parsed.Options);
}
