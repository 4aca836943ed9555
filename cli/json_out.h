// The command-line converter's report as JSON:
//   {"mailboxes": [{"name", "source", "pst", "queued", "converted", "not_converted": [paths]}], "stopped":
//   bool}
#pragma once

#include <string>
#include <vector>

#include "engine/conversion.h"

namespace velmora::cli {

// A JSON string literal; bytes that are not valid UTF-8 become U+FFFD so the output always parses.
std::string JsonQuote(const std::string& s);
std::string RunReportJson(const std::vector<engine::MailboxOutcome>& mailboxes, bool stopped);

}  // namespace velmora::cli
