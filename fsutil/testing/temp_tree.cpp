#include "fsutil/testing/temp_tree.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "fsutil/file_names.h"
#include "fsutil/platform_shim.h"
#include "fsutil/program_text.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmora::fsutil::testing {
namespace {

namespace fs = std::filesystem;

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error("TempTree: cannot " + what);
}

std::string RandomName() {
  uint8_t bytes[6];
  SystemRandomBytes(bytes);
  static const char kHex[] = "0123456789abcdef";
  std::string out = "velmora-";
  for (uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

}  // namespace

TempTree::TempTree() {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  Check(!ec, "find the temporary folder");
  fs::path made;
  for (int attempt = 0; attempt < 16 && made.empty(); ++attempt) {
    const fs::path candidate = base / RandomName();
    if (fs::create_directory(candidate, ec)) made = candidate;
  }
  Check(!made.empty(), "create a folder in " + Utf8Path(base));
  root_ = Utf8Path(fs::canonical(made));
}

TempTree::~TempTree() {
  std::error_code ec;
#ifndef _WIN32
  // Give back the write and search permissions a test may have taken away, so that everything can go.
  for (auto it =
           fs::recursive_directory_iterator(FsPath(root_), fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0700);
  }
  ::chmod(root_.c_str(), 0700);
#endif
  fs::remove_all(FsPath(root_), ec);
}

std::string TempTree::Path(const std::string& relative) const {
  std::string native = relative;
  std::replace(native.begin(), native.end(), '/', kPathSeparator);
  return root_ + kPathSeparator + native;
}

std::string TempTree::Folder(const std::string& relative) {
  const std::string p = Path(relative);
  std::error_code ec;
  Check(fs::create_directory(FsPath(p), ec), "make folder " + p);
  return p;
}

std::string TempTree::File(const std::string& relative, const std::string& content) {
  const std::string p = Path(relative);
  std::ofstream out(FsPath(p), std::ios::binary | std::ios::trunc);
  Check(out.good(), "create " + p);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  Check(out.good(), "write " + p);
  return p;
}

std::string TempTree::Symlink(const std::string& relative, const std::string& target) {
  const std::string p = Path(relative);
  std::error_code ec;
  fs::create_symlink(FsPath(target), FsPath(p), ec);
  Check(!ec, "link " + p);
  return p;
}

std::string TempTree::SparseFile(const std::string& relative, uint64_t size) {
  const std::string p = File(relative);
  std::error_code ec;
  fs::resize_file(FsPath(p), size, ec);
  Check(!ec, "extend " + p);
  return p;
}

void TempTree::Chmod(const std::string& relative, unsigned mode) {
  std::error_code ec;
  fs::permissions(FsPath(Path(relative)), static_cast<fs::perms>(mode), fs::perm_options::replace, ec);
  Check(!ec, "chmod " + relative);
}

bool RunningAsRoot() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0;
#endif
}

}  // namespace velmora::fsutil::testing
