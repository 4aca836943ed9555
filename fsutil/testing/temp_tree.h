// A folder tree in a fresh temporary directory for tests that need real files; removed again on destruction.
// Paths are UTF-8 with the platform's separator; relative paths given to it may use "/" on every platform.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::fsutil::testing {

class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // The absolute path of the tree's root, without a trailing separator.
  const std::string& root() const { return root_; }
  // root() + separator + relative, its "/" made the platform's separator.
  std::string Path(const std::string& relative) const;

  // Each creates what it names below the root (parents must exist) and returns its full path.
  std::string Folder(const std::string& relative);
  std::string File(const std::string& relative, const std::string& content = "");
  std::string Symlink(const std::string& relative, const std::string& target);
  // A file of `size` bytes that takes no space on disk.
  std::string SparseFile(const std::string& relative, uint64_t size);
  // Symbolic links and permission bits are POSIX facts: tests of them are Linux-only.
  // Sets the permission bits of an entry.
  void Chmod(const std::string& relative, unsigned mode);

 private:
  std::string root_;
};

// Whether the process runs as root, for which permission bits deny nothing.
bool RunningAsRoot();

}  // namespace velmora::fsutil::testing
