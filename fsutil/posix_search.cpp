#include "fsutil/posix_search.h"

#include <dirent.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "fsutil/name_order.h"
#include "fsutil/posix_stat.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

bool IsDotName(const char* n) {
  return std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0;
}

// Adds the names of `folder` that match `pattern`, "." and ".." left out. On failure the errno.
int ListFolder(const std::string& folder, const std::string& pattern, SortedListing* names) {
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return errno;
  errno = 0;
  while (const dirent* e = ::readdir(dir.get())) {
    if (!IsDotName(e->d_name) && MatchesPattern(e->d_name, pattern)) {
      if (const int err = names->Add(e->d_name); err != 0) return err;
    }
    errno = 0;
  }
  return errno != 0 ? errno : names->Finish();
}

}  // namespace

uint32_t SearchTable::NewHandle() {
  do {
    ++last_handle_;
  } while (last_handle_ == 0 || last_handle_ == kInvalidHandle || open_.count(last_handle_) != 0);
  return last_handle_;
}

void SearchTable::Fill(const Search& s, const std::string& name, FindData* data) {
  PathStat st;
  if (StatPath(s.folder + name, name, &st) != kErrorSuccess) st.attributes = kAttributeNormal;  // vanished
  *data = FindData{};
  data->attributes = st.attributes;
  data->size_high = static_cast<uint32_t>(st.size >> 32);
  data->size_low = static_cast<uint32_t>(st.size);
  data->file_name = name;
}

uint32_t SearchTable::Start(const std::string& search_path, FindData* data, uint32_t* error) {
  const size_t slash = search_path.rfind('/');
  Search s;
  s.folder = slash == std::string::npos ? std::string() : search_path.substr(0, slash + 1);
  const std::string pattern = slash == std::string::npos ? search_path : search_path.substr(slash + 1);
  if (HasWildcard(s.folder)) {
    *error = kErrorInvalidName;  // wildcards stand only in the last component
    return kInvalidHandle;
  }
  if (pattern.empty()) {
    *error = kErrorFileNotFound;  // a search path that ends in its separator names no entry
    return kInvalidHandle;
  }
  s.listing = std::make_unique<SortedListing>();
  if (const int err = ListFolder(s.folder, pattern, s.listing.get()); err != 0) {
    *error = (err == ENOENT || err == ENOTDIR) ? kErrorPathNotFound : Win32ErrorFromErrno(err);
    return kInvalidHandle;
  }
  const bool root = SameFileSystemObject(s.folder.empty() ? "." : s.folder, "/");
  if (!root) {
    if (MatchesPattern("..", pattern)) s.dots.push_back("..");
    if (MatchesPattern(".", pattern)) s.dots.push_back(".");
  }
  std::string first;
  if (!NextName(s, &first, error)) {
    if (*error == kErrorNoMoreFiles) *error = kErrorFileNotFound;
    return kInvalidHandle;
  }
  Fill(s, first, data);
  const uint32_t handle = NewHandle();
  open_.emplace(handle, std::move(s));
  *error = kErrorSuccess;
  return handle;
}

bool SearchTable::NextName(Search& s, std::string* name, uint32_t* error) {
  if (!s.dots.empty()) {
    *name = std::move(s.dots.back());
    s.dots.pop_back();
    return true;
  }
  int err = 0;
  if (s.listing->Next(name, &err)) return true;
  *error = err == 0 ? kErrorNoMoreFiles : Win32ErrorFromErrno(err);
  return false;
}

bool SearchTable::Step(uint32_t handle, FindData* data, uint32_t* error) {
  auto it = open_.find(handle);
  if (it == open_.end()) {
    *error = kErrorInvalidHandle;
    return false;
  }
  Search& s = it->second;
  std::string name;
  if (!NextName(s, &name, error)) return false;
  Fill(s, name, data);
  *error = kErrorSuccess;
  return true;
}

bool SearchTable::Close(uint32_t handle, uint32_t* error) {
  if (open_.erase(handle) == 0) {
    *error = kErrorInvalidHandle;
    return false;
  }
  *error = kErrorSuccess;
  return true;
}

}  // namespace velmora::fsutil
