// The command-line converter's closing lines on standard error. Always: every file that was not converted,
// every folder that could not be read and every store that could not be saved, each with its reason. Unless
// quiet: a line per mailbox and one line that says what happened, with counts (converted, skipped by rule,
// not converted, stopped).
#pragma once

#include <cstdio>

#include "engine/conversion.h"

namespace velmora::cli {

void PrintRunSummary(const engine::Conversion& conversion, bool stopped, bool quiet, std::FILE* err);

}  // namespace velmora::cli
