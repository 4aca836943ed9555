// velmora-convert: the converter without windows. The same engine and the same code path as the wizard's Next
// button, with a front end for scripts, servers and tests.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>

#include "cli/convert_host.h"
#include "cli/json_out.h"
#include "cli/run_summary.h"
#include "cli/verify_run.h"
#include "engine/conversion.h"
#include "engine/errors.h"
#include "engine/mailbox_list.h"
#include "fsutil/file_queries.h"
#include "fsutil/program_text.h"
#include "fsutil/stop_signals.h"
#include "velmora_version.h"

namespace {

namespace fs = std::filesystem;
using velmora::cli::ConvertHost;

constexpr const char* kUsage =
    "Usage:\n"
    "  velmora-convert [--quiet] [--json] [--resume] [--verify] SOURCE_FOLDER OUTPUT.pst\n"
    "      Converts one exported mailbox folder into OUTPUT.pst.\n"
    "  velmora-convert --multiple [--quiet] [--json] [--resume] [--verify] TOP_FOLDER OUTPUT_FOLDER\n"
    "                  [MAILBOX...]\n"
    "      Converts every mailbox folder directly below TOP_FOLDER (or only the MAILBOX names given) into\n"
    "      OUTPUT_FOLDER/MAILBOX.pst.\n"
    "\n"
    "Options:\n"
    "  --multiple  every mailbox folder below TOP_FOLDER, one .pst each (see above)\n"
    "  --quiet, -q no progress and no messages except errors\n"
    "  --json      print a report as JSON on standard output at the end\n"
    "  --resume    into an existing OUTPUT.pst, add only the messages it does not hold yet (same "
    "Message-ID,\n"
    "              or same file name and size for messages without one): a stopped or failed run can be\n"
    "              run again without duplicates\n"
    "  --verify    after the last commit, read every converted message back from the .pst on disk and\n"
    "              compare it with what was imported (folder, subject, sender, recipients, times,\n"
    "              Message-ID, bodies, attachments' sizes and SHA-256, attached messages); each difference\n"
    "              is listed with its file and field\n"
    "  --help, -h  this text\n"
    "  --version   the program's version\n"
    "\n"
    "Files directly in Conversations, Notebook and Emailed Contacts are skipped by rule (listed as "
    "skipped).\n"
    "\n"
    "Exit status: 0 every .eml file became a message or was skipped by rule; 1 some did not, or a folder\n"
    "could not be read, or a store could not be saved (each is listed with its reason), or --verify found a\n"
    "difference; 2 a store could not be opened or the arguments are wrong (with --json, also as\n"
    "{\"error\": ...} on standard output); 130 stopped with Ctrl-C, 143 stopped by SIGTERM, 129 stopped by\n"
    "SIGHUP (the terminal closed); what was converted is saved and reported.\n";

constexpr int kExitAllConverted = 0;
constexpr int kExitSomeNotConverted = 1;
constexpr int kExitFailure = 2;
// A stop by a signal: 128 + the signal's number, as shells report it (129 SIGHUP, 130 SIGINT, 143 SIGTERM).
constexpr int kExitSignalBase = 128;

// --json was asked for: errors before the run are reported on standard output as JSON too.
bool json_errors = false;

int Fail(const std::string& problem, bool usage = false) {
  std::cerr << "velmora-convert: " << problem << "\n" << (usage ? std::string("\n") + kUsage : "");
  if (json_errors) std::cout << velmora::cli::JsonText(velmora::cli::Json{{"error", problem}}) << "\n";
  return kExitFailure;
}

int Usage(const std::string& problem) {
  return Fail(problem, true);
}

// An absolute path without a trailing separator (except the root), as the folder picker gives it.
std::string Absolute(const std::string& p) {
  std::error_code ec;
  fs::path a = fs::absolute(velmora::fsutil::FsPath(p), ec).lexically_normal();
  std::string s = velmora::fsutil::Utf8Path(a);
  while (s.size() > 1 && s.back() == velmora::fsutil::kPathSeparator && s.end()[-2] != ':') s.pop_back();
  return s;
}

bool IsFolder(const std::string& p) {
  const uint32_t attributes = velmora::fsutil::PathAttributes(p);
  return attributes != velmora::fsutil::kInvalidAttributes &&
         (attributes & velmora::fsutil::kAttributeDirectory);
}

bool IsListableFolder(const std::string& p) {
  return IsFolder(p) && velmora::fsutil::FolderReadable(p);
}

bool IsWritableFolder(const std::string& p) {
  return IsFolder(p) && velmora::fsutil::FolderWritable(p);
}

}  // namespace

int main(int argc, char** argv_native) {
  velmora::fsutil::Utf8Console();
  const std::vector<std::string> argv = velmora::fsutil::Utf8Arguments(argc, argv_native);
  argc = static_cast<int>(argv.size());
  bool quiet = false, json = false, multiple = false, resume = false, verify = false;
  std::vector<std::string> args;
  for (int i = 1; i < argc && std::string(argv[i]) != "--"; ++i)
    json_errors = json_errors || std::string(argv[i]) == "--json";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--version") {
      std::cout << "velmora-convert " << velmora::kVersion << "\n";
      return 0;
    } else if (a == "--quiet" || a == "-q") {
      quiet = true;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--resume") {
      resume = true;
    } else if (a == "--verify") {
      verify = true;
    } else if (a == "--multiple") {
      multiple = true;
    } else if (a == "--") {
      for (++i; i < argc; ++i) args.push_back(argv[i]);
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage("unknown option " + a);
    } else {
      args.push_back(a);
    }
  }

  ConvertHost::Options o;
  o.quiet = quiet;
  o.progress = !quiet && velmora::fsutil::IsTerminal(stderr);
  o.single = !multiple;
  if (!multiple) {
    if (args.size() != 2) return Usage("a single-mailbox run takes SOURCE_FOLDER and OUTPUT.pst");
    o.source = Absolute(args[0]);
    o.pst = Absolute(args[1]);
    if (!IsListableFolder(o.source)) {
      return Fail("the source folder does not exist or cannot be read: " + o.source);
    }
    if (IsFolder(o.pst)) {
      return Fail("the output path is a folder, not a file: " + o.pst);
    }
    const std::string parent = velmora::fsutil::Utf8Path(velmora::fsutil::FsPath(o.pst).parent_path());
    if (!IsWritableFolder(parent)) {
      return Fail("the output folder does not exist or cannot be written: " + parent);
    }
  } else {
    if (args.size() < 2) return Usage("a multiple-mailbox run takes TOP_FOLDER and OUTPUT_FOLDER");
    const std::string top = Absolute(args[0]);
    o.output = Absolute(args[1]);
    auto folders = IsListableFolder(top) ? velmora::engine::ListMailboxFolders(top) : std::nullopt;
    if (!folders) {
      return Fail("the top folder does not exist or cannot be read: " + top);
    }
    if (!IsWritableFolder(o.output)) {
      return Fail("the output folder does not exist or cannot be written: " + o.output);
    }
    const std::set<std::string> wanted(args.begin() + 2, args.end());
    std::set<std::string> unmatched = wanted;
    for (const auto& f : *folders) {
      o.mailboxes.push_back({wanted.empty() || wanted.count(f.name) > 0, f.name, f.path});
      unmatched.erase(f.name);
    }
    if (!unmatched.empty()) {
      return Fail("no mailbox folder named " + *unmatched.begin() + " in " + top);
    }
  }

  // Ctrl+C, SIGTERM and SIGHUP (on Windows also the console closing, log-off and shutdown) stop the run as a
  // confirmed Stop; a second one ends the process and the file keeps its last commit.
  velmora::fsutil::WatchStopSignals();

  velmora::engine::RunState run;
  ConvertHost host(o, run, stderr);
  velmora::engine::Conversion conversion(host, run);
  host.Attach(&conversion);
  conversion.set_resume(resume ? velmora::engine::Conversion::ResumeMode::kOn
                               : velmora::engine::Conversion::ResumeMode::kOff);
  velmora::cli::ConversionVerifier verifier;
  if (verify) verifier.Attach(conversion);
  try {
    conversion.Run();
  } catch (const velmora::engine::Error& e) {
    return Fail("the run ended with an error: " + e.description());
  } catch (const std::exception& e) {
    // A fault of the program itself (the engine lets only its own errors count as failed steps).
    return Fail(std::string("the run ended with an internal error: ") + e.what());
  }
  const bool stopped = run.StopRequested;
  // A stopped run keeps its session open (its store is committed already); close it cleanly now.
  conversion.Close();

  velmora::cli::PrintRunSummary(conversion, stopped, quiet, stderr);
  velmora::cli::Json verification;
  const bool verified = !verify || verifier.Run(conversion, quiet, std::cerr, verification);
  if (json) {
    std::cout << velmora::cli::JsonText(
                     velmora::cli::RunReport(conversion.outcomes(), conversion.unreadable_folders(),
                                             conversion.unreadable_files(), stopped, verification))
              << "\n";
  }

  if (host.store_error_shown()) return kExitFailure;
  if (stopped) {
    const int request = velmora::fsutil::StopRequest();
    return kExitSignalBase + (request ? request : velmora::fsutil::kStopInterrupt);
  }
  bool lost = conversion.NotConvertedCount() > 0 || !conversion.unreadable_folders().empty() ||
              !conversion.unreadable_files().empty();
  for (const auto& m : conversion.outcomes())
    lost = lost || !m.save_error.empty() || !m.folders_not_made.empty();
  return lost || !verified ? kExitSomeNotConverted : kExitAllConverted;
}
