// The platform shim: the part of kernel32 that the file query layer calls, as an interface.
//
// The query layer was written against kernel32's file functions (attribute query, FindFirstFile/FindNextFile/
// FindClose, compressed size, FormatMessage, the version calls). This interface gives it the same results on
// any platform; SystemKernel() is the POSIX implementation and tests replace it with their own.
//
// What the POSIX implementation promises (the results the query layer expects of kernel32):
//  - The attribute word: 0x10 folder, 0x01 read-only (the owner has no write permission), 0x02 hidden (the
//    name begins with "."), 0x80 normal when no other bit is set; 0x800 (compressed) is never set. Symbolic links
//    are followed; a link whose target is missing reports the link itself.
//  - Win32 error codes mapped from errno (see win32_errors.h), readable with GetLastError after a failed
//    call. As in kernel32, a successful call leaves the last error as it was, except the compressed-size query,
//    which sets 0 so that a low half of all bits set can be told from a failure.
//  - Search handles: 32-bit numbers, never 0 and never the invalid-handle value. A search lists the folder of
//    the search path (up to its last "/") and delivers "." and ".." first (except in the root folder, as
//    NTFS), then the names that match the search path's last component in the order NTFS gives
//    (name_order.h). A search that matches nothing fails with 2; a folder that cannot be listed fails with
//    its code (3 when missing); the step after the last entry fails with 18.
//  - FILETIME values from the file's times; sizes as two 32-bit halves; compressed size = size.
//  - CallWidth::kWide stands for the W entry point given the long-path form of the path. POSIX has no
//    260-character limit, so the "\\?\" prefix is not built, but its rule is kept: under the prefix a
//    relative path is not resolved and names nothing (error 3). CallWidth::kAnsi takes the path as given.
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
inline constexpr uint32_t kInvalidHandle = 0xFFFF'FFFF;      // INVALID_HANDLE_VALUE (-1) of a 32-bit process

inline constexpr uint32_t kAttributeReadOnly = 0x01;   // FILE_ATTRIBUTE_READONLY
inline constexpr uint32_t kAttributeHidden = 0x02;     // FILE_ATTRIBUTE_HIDDEN
inline constexpr uint32_t kAttributeDirectory = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
inline constexpr uint32_t kAttributeNormal = 0x80;     // FILE_ATTRIBUTE_NORMAL, only when no other bit is set

inline constexpr uint32_t kPlatformWin32Nt = 2;  // VER_PLATFORM_WIN32_NT in dwPlatformId

// Which entry point a call stands for: the wide one (given the long-path form) or the ANSI one.
enum class CallWidth { kWide, kAnsi };

// WIN32_FIND_DATA, the fields the query layer reads.
struct FindData {
  uint32_t attributes = 0;  // dwFileAttributes
  uint32_t size_high = 0;   // nFileSizeHigh
  uint32_t size_low = 0;    // nFileSizeLow
  std::string file_name;    // cFileName (may hold a NUL and what follows it)
};

// What names one folder or file on its volume: GetFileInformationByHandle's volume serial number and file
// index on Windows, the device and inode on POSIX.
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileId&) const = default;
};

// What loading kernel32 found: whether it loaded and which optional entry points it exports.
struct KernelExports {
  bool loaded = false;
  bool get_version_ex_w = false;
  bool get_version_ex_a = false;
};

class Kernel {
 public:
  virtual ~Kernel() = default;

  // LoadLibrary("kernel32") and GetProcAddress of the optional entry points; FreeLibrary.
  virtual KernelExports LoadKernel32() = 0;
  virtual void FreeKernel32() = 0;
  // The platform identifier from GetVersionExW (OSVERSIONINFOW, 276 bytes) or GetVersionExA (OSVERSIONINFOA,
  // 148 bytes); nothing when the call fails.
  virtual std::optional<uint32_t> GetVersionExW() = 0;
  virtual std::optional<uint32_t> GetVersionExA() = 0;
  // GetVersion: a clear high bit means the NT family.
  virtual uint32_t GetVersion() = 0;

  // The code the last failed call left (successful calls leave it as it was).
  virtual uint32_t GetLastError() = 0;

  // kInvalidAttributes on failure.
  virtual uint32_t GetFileAttributes(CallWidth width, const std::string& path) = 0;
  // A search handle, or kInvalidHandle on failure.
  virtual uint32_t FindFirstFile(CallWidth width, const std::string& search_path, FindData* data) = 0;
  virtual bool FindNextFile(CallWidth width, uint32_t handle, FindData* data) = 0;
  virtual bool FindClose(uint32_t handle) = 0;
  // The identity of the folder or file at `path` (links followed); nothing when it cannot be had. Does not
  // change the last error.
  virtual std::optional<FileId> GetFileId(CallWidth width, const std::string& path) = 0;
  // FormatMessage from the system message table, default language, inserts left as they are, into a buffer of
  // `buffer_chars` characters: the message as the system writes it, or nothing (no message, or it does not
  // fit).
  virtual std::optional<std::string> FormatMessage(CallWidth width, uint32_t code, size_t buffer_chars) = 0;
};

// The process-wide POSIX implementation.
Kernel& SystemKernel();

}  // namespace velmora::fsutil
