// tavren: the command-line enhancer.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/run.h"

int main(int argc, char** argv) {
  using namespace tavren::cli;
  const TParseResult parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    std::fprintf(stderr, "tavren: %s\n%s", parsed.error.c_str(), UsageText().c_str());
    return 2;
  }
  switch (parsed.options.command) {
    case TCommand::Help:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case TCommand::Version:
      std::printf("tavren %s\n", TAVREN_VERSION_TEXT);
      return 0;
    case TCommand::Info:
      return RunInfo(parsed.options);
    case TCommand::Enhance:
      return RunEnhance(parsed.options);
  }
  return 2;
}
