#include "cli/verify_run.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "engine/migration.h"
#include "engine/text_rules.h"
#include "fsutil/platform_shim.h"
#include "fsutil/program_text.h"
#include "rdo/parsed_eml.h"
#include "rdo/rdo_mail.h"

namespace velmora::cli {

namespace {

namespace fs = std::filesystem;

// The store folder text as the verifier walks it: no trailing "\".
std::string FolderKey(std::string folder) {
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

void PrintReport(const verify::Report& r, const std::vector<std::string>& added, std::ostream& out) {
  for (const auto& d : r.differences)
    out << "difference: " << (d.file.empty() ? "(no source file)" : d.file) << ": " << d.field << ": "
        << d.detail << "\n";
  for (const auto& a : added) out << "added since the conversion: " << a << "\n";
  for (const auto& m : r.removed)
    out << "in the .pst, not in the source folder (removed since the conversion): " << m << "\n";
}

// Every ".eml" file below `source`, in name order, that a conversion would import (not those the rules skip).
std::vector<std::string> MessageFiles(const std::string& source, std::ostream& err) {
  std::vector<std::string> files;
  std::error_code ec;
  fs::recursive_directory_iterator it(fsutil::FsPath(source), fs::directory_options::skip_permission_denied,
                                      ec),
      end;
  for (; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec) || !engine::HasEmlExtension(fsutil::Utf8Path(it->path().filename())))
      continue;
    files.push_back(fsutil::Utf8Path(it->path()));
  }
  if (ec) err << "velmora-pst: " << source << " cannot be read in full: " << ec.message() << "\n";
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

std::string Grouped(uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (size_t k = 0; k < digits.size(); ++k) {
    if (k > 0 && (digits.size() - k) % 3 == 0) out += ',';
    out += digits[k];
  }
  return out;
}

std::string SummaryLine(const verify::Report& r) {
  return "verified " + Grouped(r.verified) + " of " + Grouped(r.expected) + " messages, " +
         Grouped(r.attachments) + " attachments; " + Grouped(r.differences.size()) + " differences";
}

Json VerifyJson(const std::string& pst, const verify::Report& r, const std::vector<std::string>& added,
                const std::string& error) {
  Json differences = Json::array();
  for (const auto& d : r.differences)
    differences.push_back({{"file", d.file}, {"field", d.field}, {"detail", d.detail}});
  return {{"pst", pst},
          {"summary", SummaryLine(r)},
          {"expected", r.expected},
          {"verified", r.verified},
          {"attachments", r.attachments},
          {"differences", std::move(differences)},
          {"added", added},
          {"removed", r.removed},
          {"error", error}};
}

int VerifyFolder(const std::string& source, const std::string& pst, bool json, std::ostream& out,
                 std::ostream& err, bool wait) {
  std::error_code ec;
  if (!fs::is_directory(fsutil::FsPath(source), ec)) {
    err << "velmora-pst: the source folder does not exist or is not a folder: " << source << "\n";
    return 2;
  }
  auto verifier = verify::StoreVerifier::Open(pst, /*check_structure=*/true, wait);
  if (!verifier.ok()) {
    err << "velmora-pst: " << verifier.status().message() << "\n";
    if (json) out << JsonText(VerifyJson(pst, {}, {}, verifier.status().message())) << "\n";
    return 2;
  }
  verify::StoreVerifier& v = **verifier;
  std::string root = fsutil::Utf8Path(fsutil::FsPath(source).lexically_normal());
  while (root.size() > 1 && root.back() == fsutil::kPathSeparator) root.pop_back();
  std::vector<std::string> added;
  for (const std::string& file : MessageFiles(root, err)) {
    const std::string folder = engine::TargetFolderPath(file, root, v.inbox_name(), v.sent_items_name());
    if (engine::SkippedByRule(folder)) continue;
    auto content = rdo::ReadEmlFile(file);
    if (!content.ok()) {
      added.push_back(file + " (cannot be read: " + content.status().message() + ")");
      continue;
    }
    verify::Fingerprint expected = verify::Take(*content);
    expected.source = rdo::SourceFileText(file);
    expected.file = file;
    expected.folder = FolderKey(folder);
    if (!v.Check(expected, /*missing_is_difference=*/false)) added.push_back(file);
  }
  v.ListUnmatched();
  const verify::Report& r = v.report();
  if (json) {
    out << JsonText(VerifyJson(pst, r, added, "")) << "\n";
  } else {
    PrintReport(r, added, out);
    out << SummaryLine(r) << "\n";
  }
  return r.differences.empty() && added.empty() && r.removed.empty() ? 0 : 1;
}

void ConversionVerifier::Attach(engine::Conversion& conversion) {
  conversion.set_on_saved([this, &conversion](const std::string& file, const std::string& folder,
                                              const pst::MessageContent& content) {
    auto& log = logs_[conversion.pst_path()];
    if (!log) log = std::make_unique<verify::FingerprintLog>();
    verify::Fingerprint f = verify::Take(content);
    f.source = rdo::SourceFileOf(content);
    f.file = file;
    f.folder = FolderKey(folder);
    log->Append(f);
  });
}

bool ConversionVerifier::Run(const engine::Conversion& conversion, bool quiet, std::ostream& err,
                             Json& json) {
  bool all_match = true;
  json = Json::array();
  for (const auto& m : conversion.outcomes()) {
    auto log = logs_.find(m.pst);
    if (m.pst.empty() || log == logs_.end()) continue;
    std::set<std::string> lost;  // saved, but a failed commit lost them: not converted, not to be verified
    for (const auto& f : m.not_converted) lost.insert(f.path);
    std::string error = log->second->ok() ? "" : log->second->error();
    verify::Report report;
    if (error.empty()) {
      // The file was just written and committed by this process: the whole structural check (a third of the
      // time verifying takes) is left to velmora-pst check; reading every message back still meets any damage
      // on the way to it.
      auto verifier = verify::StoreVerifier::Open(m.pst, /*check_structure=*/false);
      if (verifier.ok()) {
        log->second->ForEach([&](const verify::Fingerprint& f) {
          if (lost.count(f.file) == 0) (*verifier)->Check(f);
          return true;
        });
        report = (*verifier)->report();
      } else {
        error = verifier.status().message();
      }
    }
    const bool match = error.empty() && report.differences.empty();
    all_match = all_match && match;
    if (!error.empty()) err << "velmora-convert: cannot verify " << m.pst << ": " << error << "\n";
    PrintReport(report, {}, err);
    if (!quiet || !match) err << m.name << ": " << SummaryLine(report) << "\n";
    json.push_back(VerifyJson(m.pst, report, {}, error));
  }
  return all_match;
}

}  // namespace velmora::cli
