// The platform layer under the file queries: the few things they ask of the operating system, as an interface.
// SystemPlatform() is the POSIX implementation; a Win32 one takes its place on Windows.
//
// What an implementation promises:
//  - Stat: the attribute word (0x10 folder, 0x01 read-only when the owner may not write, 0x02 hidden for a name
//    that begins with ".", 0x80 when no other bit is set; 0x800 is never set) and the size (0 for a folder).
//    Symbolic links are followed; a link whose target is missing reports the link itself.
//  - Failures as Win32 error codes (win32_errors.h): 2 when the folder exists but the entry does not, 3 when a
//    folder on the way is missing or is no folder, 5 access denied, 206 name too long, ...
//  - ReadFolder: every name of one folder but "." and "..", in any order.
//  - Identity: the volume and file index on Windows, the device and inode on POSIX.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmora::fsutil {

// The separator of file-system paths: where a Windows path gains, loses or is split at "\", POSIX uses "/".
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

inline constexpr uint32_t kInvalidAttributes = 0xFFFF'FFFF;  // INVALID_FILE_ATTRIBUTES, all bits set

inline constexpr uint32_t kAttributeReadOnly = 0x01;   // FILE_ATTRIBUTE_READONLY
inline constexpr uint32_t kAttributeHidden = 0x02;     // FILE_ATTRIBUTE_HIDDEN
inline constexpr uint32_t kAttributeDirectory = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
inline constexpr uint32_t kAttributeNormal = 0x80;     // FILE_ATTRIBUTE_NORMAL, only when no other bit is set

// What names one folder or file on its volume.
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileId&) const = default;
};

struct PathStat {
  uint32_t attributes = 0;
  uint64_t size = 0;  // 0 for a folder
};

class SortedListing;

class Platform {
 public:
  virtual ~Platform() = default;
  // 0 with the facts of `path` in *out, or the code of the failure.
  virtual uint32_t Stat(const std::string& path, PathStat* out) = 0;
  // Adds every name of the folder `path` to `names`; 0 or the code of the failure.
  virtual uint32_t ReadFolder(const std::string& path, SortedListing& names) = 0;
  // The identity of the folder or file at `path` (links followed); nothing when it cannot be had.
  virtual std::optional<FileId> Identity(const std::string& path) = 0;
};

// The process-wide implementation of this platform.
Platform& SystemPlatform();

// The platform the queries call: SystemPlatform() unless a test put its own in place (nullptr: the system's).
Platform& CurrentPlatform();
void UsePlatform(Platform* platform);

}  // namespace velmora::fsutil
