// The file queries of the source scan and the existence tests: the attribute word of a path, and the names of
// one folder in the order NTFS gives them (name_order.h), the same on every platform. Failures are Win32 error
// codes (win32_errors.h); SystemErrorText gives their texts. All calls go through the platform layer
// (platform_shim.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "fsutil/path_strings.h"
#include "fsutil/platform_shim.h"

namespace velmora::fsutil {

// The attribute word of `path`; kInvalidAttributes (all bits set) when the query fails, with its code in
// *error when asked (0 after a successful query).
uint32_t PathAttributes(const std::string& path, uint32_t* error = nullptr);

// The names of one folder, in order, read while the caller goes; a large folder is sorted in bounded memory.
class FolderListing {
 public:
  explicit FolderListing(uint32_t error);
  explicit FolderListing(std::unique_ptr<SortedListing> names);
  FolderListing(FolderListing&&) noexcept;
  ~FolderListing();

  // The next name into *name; false at the end, or when the folder could not be read (error() tells).
  bool Next(std::string* name);
  // 0, or the code of the failure that kept the folder, or the rest of it, from being listed.
  uint32_t error() const { return error_; }

 private:
  std::unique_ptr<SortedListing> names_;
  uint32_t error_ = 0;
};

// The names in the folder `path` ("." and ".." left out) in the order NTFS gives them; error() tells when the
// folder cannot be listed (3 when it is missing or no folder).
FolderListing ListFolder(const std::string& path);

// The identity of the folder or file at `path` (see FileId); nothing when it cannot be had.
std::optional<FileId> PathIdentity(const std::string& path);

// "Error <code> - <system message>" on one line, or "Error <code> - unknown error."; for code 0
// "Error - File Possibly In Use/Locked".
std::string SystemErrorText(int32_t code);

}  // namespace velmora::fsutil
