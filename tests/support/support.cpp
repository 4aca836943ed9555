#include "tests/support/support.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "fsutil/file_names.h"
#include "tests/support/pst_soundness.h"

namespace velmora::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 16 && path_.empty(); ++attempt) {
    uint8_t bytes[6];
    fsutil::SystemRandomBytes(bytes);
    std::string name = "velmora-test-";
    for (uint8_t b : bytes) {
      name += "0123456789abcdef"[b >> 4];
      name += "0123456789abcdef"[b & 15];
    }
    std::error_code ec;
    if (fs::create_directory(base / name, ec)) path_ = base / name;
  }
  if (path_.empty()) std::abort();
}

// A file that starts with the PST magic; others (and files damaged on purpose) are not checked.
static bool LooksLikePst(const fs::path& p) {
  char magic[4] = {};
  std::ifstream in(p, std::ios::binary);
  return in.read(magic, sizeof magic) && std::string(magic, sizeof magic) == "!BDN";
}

void TempDir::CheckPstFiles() {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::path& p = it->path();
    if (it->is_regular_file(ec) && p.extension() == ".pst" && !unchecked_.contains(p) && LooksLikePst(p))
      ExpectPstSound(p.string());
  }
}

TempDir::~TempDir() {
  if (::testing::UnitTest::GetInstance()->current_test_info() != nullptr) CheckPstFiles();
  std::error_code ec;
  // Tests make folders read-only to provoke errors; give the permissions back so everything can go.
  for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::optional<fs::path> SharedDir() {
  const char* env = std::getenv("VELMORA_SHARED");
  fs::path p = env && *env ? fs::path(env) : fs::path(VELMORA_DEFAULT_SHARED);
  std::error_code ec;
  if (fs::is_directory(p / "corpus", ec) || fs::is_directory(p / "sample-pst", ec)) return p;
  return std::nullopt;
}

int RunCommand(const std::string& command, std::string* output) {
#ifdef _WIN32
  // The commands are POSIX shell lines calling Linux programs (the readers, python3): none runs here.
  (void)command;
  if (output) *output = "no POSIX shell on Windows";
  return kCommandUnavailable;
#else
  std::string cmd = command + " 2>&1";
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) {
    if (output) output->append(buf.data(), n);
  }
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\u%04x", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

static fs::path ReadersScript() {
  return fs::path(VELMORA_SOURCE_DIR) / "tests" / "readers" / "check_readers.py";
}

std::string StrictReaderProblems(const std::string& pst) {
  static const std::string kScript =
      "import os, sys\nsys.stderr = open(os.devnull, 'w')\nsys.path.insert(0, sys.argv[1])\n"
      "from strict_reader import strict_read\n"
      "print('\\n'.join(strict_read(sys.argv[2]) or []), end='')\n";
  std::string out;
  const fs::path readers = fs::path(VELMORA_SOURCE_DIR) / "tests" / "readers";
#ifdef _WIN32
  (void)pst;
  return "";  // the PST SDK reader is a Linux program
#endif
  if (RunCommand("/usr/bin/python3 -c " + ShellQuote(kScript) + " " + ShellQuote(readers.string()) + " " +
                     ShellQuote(pst),
                 &out) != 0)
    return "strict_reader.py failed: " + out;
  return out;
}

ReaderCheck CheckWithReaders(const std::string& pst, const std::optional<ExpectedTree>& expected,
                             bool exact) {
  ReaderCheck result;
  std::string cmd = "/usr/bin/python3 " + ShellQuote(ReadersScript().string()) + " " + ShellQuote(pst);
  std::optional<TempDir> tmp;
  if (expected) {
    tmp.emplace();
    fs::path json = tmp->path() / "expected.json";
    std::ofstream out(json);
    out << "{\"exact\": " << (exact ? "true" : "false") << ", \"folders\": {";
    bool first = true;
    for (const auto& [path, count] : *expected) {
      out << (first ? "" : ", ") << JsonString(path) << ": " << count;
      first = false;
    }
    out << "}}\n";
    out.close();
    cmd += " " + ShellQuote(json.string());
  }
  int rc = RunCommand(cmd, &result.output);
  result.available = rc != 77 && rc != kCommandUnavailable;
  result.ok = rc == 0;
  return result;
}

}  // namespace velmora::testing
