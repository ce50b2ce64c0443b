// Carries out a parsed `tavren` command on the files it names.
#pragma once

#include "cli/options.h"

namespace tavren::cli {

// Enhances every picture; returns the exit status: 0 when all succeeded,
// 1 when any failed (each failure named on stderr with its reason).
int RunEnhance(const TCliOptions& options);

// Prints size, make and model of every picture; the same exit status.
int RunInfo(const TCliOptions& options);

}  // namespace tavren::cli
