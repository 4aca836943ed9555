#include "fsutil/existence.h"

#include "fsutil/file_queries.h"

namespace velmora::fsutil {

std::string AddBackslash(std::string_view path, char sep) {
  std::string trimmed = TrimBlanks(path);
  if (trimmed.empty()) return std::string(1, sep);
  if (trimmed.back() != sep) trimmed.push_back(sep);
  return trimmed;
}

bool FolderExists(const std::string& path) {
  SetLastErrorCode(0);
  const std::string folder_form = AddBackslash(path);

  // 1. The path exactly as passed.
  const uint32_t attributes = PathAttributes(path);
  if (attributes != kInvalidAttributes && (attributes & kAttributeDirectory) != 0) {
    SetLastErrorCode(0);
    return true;
  }

  // 2. Anything listed inside the trimmed folder form. An empty or blank path has the lone separator as its
  // folder form. On Windows that is no full path, and under the long-path prefix it names nothing; on POSIX
  // it would be the root of the whole file system, so it is not searched.
  if (!TrimBlanks(path).empty()) {
    FileEntry entry;
    const uint32_t handle = FindFirstEntry(folder_form + "*.*", entry);
    if (handle != kInvalidHandle) {
      if (handle != 0) CurrentKernel().FindClose(handle);
      SetLastErrorCode(0);
      return true;
    }
  }

  // 3. An entry named "nul" inside it. Without the long-path prefix Windows reads that name as the null
  // device, which every folder seems to hold; under the prefix, and on POSIX, it is an ordinary name.
  const bool found = FileExists(folder_form + "nul");
  SetLastErrorCode(0);
  return found;
}

bool FileExists(const std::string& path) {
  const uint32_t attributes = PathAttributes(path);
  if (attributes != kInvalidAttributes && (attributes & kAttributeDirectory) == 0) return true;

  // The query failed, or the path is a folder: a search for the path itself finds its own entry.
  FileEntry entry;
  const uint32_t handle = FindFirstEntry(path, entry);
  bool found = false;
  if (handle != kInvalidHandle) {
    found = (entry.attributes & kAttributeDirectory) == 0;
    if (handle != 0) CurrentKernel().FindClose(handle);
  }
  SetLastErrorCode(0);
  return found;
}

}  // namespace velmora::fsutil
