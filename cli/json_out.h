// The command-line tools' reports as JSON, written with nlohmann-json (Debian's nlohmann-json3-dev).
// The converter's report:
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

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/conversion.h"

namespace velmora::cli {

// Members keep the order they were written in.
using Json = nlohmann::ordered_json;

// The text of `value` on one line. Strings are UTF-8; bytes that do not form valid UTF-8 (encoded surrogates,
// overlong forms, stray bytes) become U+FFFD, so the output always parses.
std::string JsonText(const Json& value);

// `verification`: the array of the --verify checks, or null without --verify.
Json RunReport(const std::vector<engine::MailboxOutcome>& mailboxes,
               const std::vector<engine::FileFailure>& unreadable_folders,
               const std::vector<engine::FileFailure>& unreadable_files, bool stopped,
               const Json& verification = nullptr);

}  // namespace velmora::cli
