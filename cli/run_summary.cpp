#include "cli/run_summary.h"

#include <string>

namespace velmora::cli {

namespace {

struct Totals {
  int64_t queued = 0, converted = 0, present = 0, skipped = 0, failed = 0, other = 0, not_reached = 0;
};

std::string Counts(const Totals& t) {
  std::string s = std::to_string(t.converted) + " converted, ";
  if (t.present > 0) s += std::to_string(t.present) + " already in the file, ";
  s += std::to_string(t.skipped) + " skipped by rule, " + std::to_string(t.failed) + " not converted";
  if (t.other > 0) s += ", " + std::to_string(t.other) + " other file(s) left as they are";
  if (t.not_reached > 0) s += ", " + std::to_string(t.not_reached) + " not reached";
  return s;
}

}  // namespace

void PrintRunSummary(const engine::Conversion& conversion, bool stopped, bool quiet, std::FILE* err) {
  Totals all;
  bool store_failed = false;
  for (const auto& m : conversion.outcomes()) {
    for (const auto& f : m.folders_not_made)
      std::fprintf(err, "folder not made: %s: %s\n", f.path.c_str(), f.reason.c_str());
    for (const auto& f : m.not_converted)
      std::fprintf(err, "not converted: %s: %s\n", f.path.c_str(), f.reason.c_str());
    for (const auto& f : m.remarks)
      std::fprintf(err, "converted, with a remark: %s: %s\n", f.path.c_str(), f.reason.c_str());
    if (!m.save_error.empty()) std::fprintf(err, "not saved: %s: %s\n", m.name.c_str(), m.save_error.c_str());
    store_failed =
        store_failed || !m.store_error.empty() || !m.save_error.empty() || !m.folders_not_made.empty();
  }
  for (const auto& f : conversion.unreadable_folders())
    std::fprintf(err, "unreadable folder: %s: %s\n", f.path.c_str(), f.reason.c_str());
  for (const auto& f : conversion.unreadable_files())
    std::fprintf(err, "unreadable file: %s: %s\n", f.path.c_str(), f.reason.c_str());
  if (quiet) return;

  for (const auto& m : conversion.outcomes()) {
    const Totals t{.queued = m.queued,
                   .converted = m.converted,
                   .present = static_cast<int64_t>(m.already_present.size()),
                   .skipped = static_cast<int64_t>(m.skipped.size()),
                   .failed = static_cast<int64_t>(m.not_converted.size()),
                   .other = m.other_files,
                   .not_reached = m.not_reached};
    if (!m.reached) {
      std::fprintf(err, "%s: not reached, %d file(s)\n", m.name.c_str(), m.queued);
    } else {
      std::fprintf(err, "%s: %s%s%s\n", m.name.c_str(), Counts(t).c_str(), m.pst.empty() ? "" : " -> ",
                   m.pst.c_str());
    }
    all.queued += t.queued;
    all.converted += t.converted;
    all.present += t.present;
    all.skipped += t.skipped;
    all.failed += t.failed;
    all.other += t.other;
    all.not_reached += t.not_reached;
  }
  const size_t unreadable = conversion.unreadable_folders().size();
  const size_t unreadable_files = conversion.unreadable_files().size();
  std::string what;
  if (stopped) {
    what = "Stopped: " + Counts(all) + ". Everything converted is saved.";
  } else if (all.queued == 0 && unreadable == 0 && unreadable_files == 0) {
    what = "Nothing to convert: no message files were found.";
  } else if (all.failed == 0 && unreadable == 0 && unreadable_files == 0 && !store_failed) {
    what = "Done: " + Counts(all) + ".";
  } else {
    what = "Done with errors: " + Counts(all) +
           (unreadable ? ", " + std::to_string(unreadable) + " folder(s) could not be read" : "") +
           (unreadable_files ? ", " + std::to_string(unreadable_files) + " file(s) could not be read" : "") +
           ".";
  }
  std::fprintf(err, "%s\n", what.c_str());
}

}  // namespace velmora::cli
