#include "fsutil/testing/temp_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace velmora::fsutil::testing {
namespace {

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error("TempTree: cannot " + what);
}

}  // namespace

TempTree::TempTree() {
  std::string templ = (std::filesystem::temp_directory_path() / "velmora-XXXXXX").string();
  Check(::mkdtemp(templ.data()) != nullptr, "create " + templ);
  root_ = std::filesystem::canonical(templ).string();
}

TempTree::~TempTree() {
  // Give back the write and search permissions a test may have taken away, so that everything can go.
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(
           root_, std::filesystem::directory_options::skip_permission_denied, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0700);
  }
  ::chmod(root_.c_str(), 0700);
  std::filesystem::remove_all(root_, ec);
}

std::string TempTree::Path(const std::string& relative) const {
  return root_ + "/" + relative;
}

std::string TempTree::Folder(const std::string& relative) {
  const std::string p = Path(relative);
  Check(::mkdir(p.c_str(), 0755) == 0, "make folder " + p);
  return p;
}

std::string TempTree::File(const std::string& relative, const std::string& content) {
  const std::string p = Path(relative);
  const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  Check(fd >= 0, "create " + p);
  const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  ::close(fd);
  Check(written, "write " + p);
  return p;
}

std::string TempTree::Symlink(const std::string& relative, const std::string& target) {
  const std::string p = Path(relative);
  Check(::symlink(target.c_str(), p.c_str()) == 0, "link " + p);
  return p;
}

std::string TempTree::SparseFile(const std::string& relative, uint64_t size) {
  const std::string p = File(relative);
  Check(::truncate(p.c_str(), static_cast<off_t>(size)) == 0, "extend " + p);
  return p;
}

void TempTree::Chmod(const std::string& relative, unsigned mode) {
  Check(::chmod(Path(relative).c_str(), static_cast<mode_t>(mode)) == 0, "chmod " + relative);
}

bool RunningAsRoot() {
  return ::geteuid() == 0;
}

}  // namespace velmora::fsutil::testing
