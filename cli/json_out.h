// The command-line converter's report as JSON:
//   {"mailboxes": [{"name", "source", "pst", "queued", "converted", "already_present": [paths],
//                   "skipped": [paths], "not_converted": [{"file", "reason"}],
//                   "folders_not_made": [{"folder", "reason"}], "other_files", "not_reached", "reached": bool
//                   (false: a stop came before the mailbox; queued and not_reached are its file count),
//                   "store_error", "save_error"}],
//    "unreadable_folders": [{"folder", "reason"}], "unreadable_files": [{"file", "reason"}], "stopped": bool,
//    "verification": [...] (with --verify)}
// For each mailbox queued = converted + len(already_present) + len(skipped) + len(not_converted)
//                           + other_files + not_reached.
#pragma once

#include <string>
#include <vector>

#include "engine/conversion.h"

namespace velmora::cli {

// A JSON string literal; bytes that are not valid UTF-8 become U+FFFD so the output always parses.
std::string JsonQuote(const std::string& s);
// A JSON array of string literals.
std::string JsonStrings(const std::vector<std::string>& list);
std::string RunReportJson(const std::vector<engine::MailboxOutcome>& mailboxes,
                          const std::vector<engine::FileFailure>& unreadable_folders,
                          const std::vector<engine::FileFailure>& unreadable_files, bool stopped,
                          const std::string& verification = "");

}  // namespace velmora::cli
