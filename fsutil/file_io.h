// Files by descriptor: opening, positioned reads and writes that either finish or say why not, durability,
// size, locks, and temporary files that vanish with their descriptor: the one way every layer does these.
//
// A descriptor is the C runtime's int on both platforms, so GMime's file streams can read it too. On POSIX it
// comes from open(2); on Windows it wraps a HANDLE from CreateFileW (wide path, opened binary, shared for
// reading, writing and deleting as POSIX files are, not inherited) and every call below works on that HANDLE.
// Paths are UTF-8. Failures are errno values on both platforms (posix_file_io.cpp, win32_file_io.cpp; the
// Win32 one maps its codes: ENOENT, EEXIST, EACCES, ENOSPC, EWOULDBLOCK for a lock another holds, else EIO).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "fsutil/platform_shim.h"

namespace velmora::fsutil {

// What ReadAt returns when the file ends before `size` bytes were read.
inline constexpr int kEndOfFile = -1;

enum class OpenFor {
  kReading,
  kReadWrite,     // an existing file
  kCreateNew,     // EEXIST when anything is at the path; never through a link
  kCreateOrOpen,  // an existing file is opened as it is (the caller decides whether to empty it)
};
// Opens `path` into *fd (closed on exec): 0 or the errno.
int OpenFile(const std::string& path, OpenFor how, int* fd);
void CloseFile(int fd);

// Reads exactly `size` bytes at `offset` (interrupted calls are repeated): 0, kEndOfFile or the errno.
// On Windows a positioned read moves the descriptor's read position; nothing here relies on it.
int ReadAt(int fd, void* out, size_t size, uint64_t offset);
// Writes all `size` bytes at `offset`: 0 or the errno (ENOSPC when the system writes nothing).
int WriteAt(int fd, const void* data, size_t size, uint64_t offset);
// Makes every write so far durable (fsync, FlushFileBuffers).
int SyncFile(int fd);
// Grows (with zeros) or shrinks the file to `size` bytes, 64-bit on both platforms.
int SetFileSize(int fd, uint64_t size);

// What the descriptor or path refers to. `links` counts the file's names.
struct FileFacts {
  bool regular = false;
  bool folder = false;
  uint64_t size = 0;
  uint32_t links = 1;
  FileId id;
  uint64_t modified = 0;    // FILETIME of the last write; 0 when unknown or before 1970
  int64_t modified_ns = 0;  // the last write, in ns since 1970
  int64_t changed_ns = 0;   // the last change of content or facts (st_ctime, ChangeTime), in ns since 1970
};
int FactsOfFile(int fd, FileFacts* out);
// Links followed unless `follow_links` is false (then a link reports itself, neither regular nor folder).
int FactsOfPath(const std::string& path, FileFacts* out, bool follow_links = true);

// One writer at a time and readers that keep writers out, for as long as the descriptor is open (also when
// the process dies). kExclusive fails with EWOULDBLOCK while another descriptor holds either kind, kShared
// while another holds kExclusive; with `wait` the call waits instead. POSIX: flock. Windows: LockFileEx on
// one byte far past any data, so the lock keeps out other lockers but never the reads of the data itself.
enum class LockKind { kShared, kExclusive };
int LockFile(int fd, LockKind kind, bool wait);

// A second descriptor on the same open file, its read position at `offset` (for a GMime stream that reads
// from there on its own): 0 or the errno.
int DuplicateAt(int fd, uint64_t offset, int* out);

// The folder for temporary files: `folder` unless empty, else $TMPDIR (GetTempPathW on Windows), else /tmp.
std::string TempFolder(const std::string& folder);
// Makes a temporary file in TempFolder(folder) that vanishes with its last descriptor, also when the process
// dies (POSIX: unlinked at once; Windows: FILE_FLAG_DELETE_ON_CLOSE). *fd, and 0 or the errno.
int OpenUnlinkedTempFile(const std::string& folder, int* fd);

// The text of an errno value from these calls.
std::string ErrorText(int err);

}  // namespace velmora::fsutil
