// What the command-line tools do to verify a conversion: keep a fingerprint of every message as the converter
// saves it (velmora-convert --verify), or of every .eml file of a folder read again (velmora-pst verify), and
// compare them with the .pst read back from disk. Verifying only reads: a .pst that does not match is never
// changed or removed.
//
// Output: one line per difference ("difference: FILE: FIELD: what"), per file added to the source folder
// since the conversion ("added: FILE") and per message whose file is gone from it ("removed: FOLDER\FILE"),
// then the summary line "verified 12,345 of 12,345 messages, 4,567 attachments; 0 differences".
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/json_out.h"
#include "engine/conversion.h"
#include "verify/fingerprint_log.h"
#include "verify/store_verifier.h"

namespace velmora::cli {

// Thousands separated by commas: 12345 -> "12,345".
std::string Grouped(uint64_t n);
std::string SummaryLine(const verify::Report& r);
// {"pst", "summary", "expected", "verified", "attachments", "differences": [{"file", "field", "detail"}],
//  "added": [...], "removed": [...], "error"}
Json VerifyJson(const std::string& pst, const verify::Report& r, const std::vector<std::string>& added,
                const std::string& error);

// velmora-pst verify SOURCE_FOLDER FILE.pst: 0 no differences, 1 differences (or files added or removed),
// 2 the source folder or the .pst cannot be opened, or the .pst is damaged (the error names the damage).
// While a conversion writes the .pst: waits for it with `wait`, else status 2 saying so.
int VerifyFolder(const std::string& source, const std::string& pst, bool json, std::ostream& out,
                 std::ostream& err, bool wait = false);

// velmora-convert --verify: records fingerprints while `conversion` runs, one log per .pst, and checks each
// .pst after the run. Attach before the run.
class ConversionVerifier {
 public:
  void Attach(engine::Conversion& conversion);
  // Checks every mailbox's .pst against the fingerprints of the messages that were converted into it; prints
  // the differences and a summary line per .pst to `err` (unless `quiet` and there are none). Returns whether
  // every .pst matched, and sets `json` to a JSON array of VerifyJson objects.
  bool Run(const engine::Conversion& conversion, bool quiet, std::ostream& err, Json& json);

 private:
  std::map<std::string, std::unique_ptr<verify::FingerprintLog>> logs_;  // by .pst path
  std::string log_error_;
};

}  // namespace velmora::cli
