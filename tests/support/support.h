// Helpers shared by the cross-layer suites: temporary folders, the shared reference material, and the
// independent PST readers from Debian.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace velmora::testing {

// A fresh folder below the system's temporary folder, removed with everything in it on destruction. Before
// that, every .pst in it must pass our own check (pst_soundness.h), except those marked Unchecked.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // A file the test damages on purpose: not checked on destruction.
  void Unchecked(const std::filesystem::path& file) { unchecked_.insert(file); }

 private:
  void CheckPstFiles();
  std::filesystem::path path_;
  std::set<std::filesystem::path> unchecked_;
};

// The shared reference folder (public mail corpus, sample exports, Outlook-made files), when present.
std::optional<std::filesystem::path> SharedDir();

// Runs a shell command; returns its exit status and puts standard output and error into *output. Where no
// POSIX shell exists (Windows), kCommandUnavailable: tests that need one are Linux-only.
inline constexpr int kCommandUnavailable = 77;  // the exit status of a skipped test
int RunCommand(const std::string& command, std::string* output);

// Quotes a string for the POSIX shell.
std::string ShellQuote(const std::string& s);

// A string as a JSON string literal.
std::string JsonString(const std::string& s);

struct ReaderCheck {
  bool available = true;  // false when the readers are not installed
  bool ok = false;        // every reader read the file, they agree, and the expectation holds
  std::string output;     // what the check printed (the tree pypff saw, and every problem)
};

// Folder path below the store's top folder ("" is the top folder, parts joined with "/") -> message count.
using ExpectedTree = std::map<std::string, int>;

// Reads `pst` with pypff, pffexport and readpst. With `expected`, the folders must hold those counts; with
// `exact`, no other folder may exist.
ReaderCheck CheckWithReaders(const std::string& pst,
                             const std::optional<ExpectedTree>& expected = std::nullopt, bool exact = false);

// Microsoft's PST SDK on `pst` (tests/readers/strict_reader.py): its problems, one a line; "" when it reads
// the file as sound or is not there (the shared tools are absent).
std::string StrictReaderProblems(const std::string& pst);

}  // namespace velmora::testing
