// Positioned reads and writes that either finish or say why not, and temporary files that vanish with their
// descriptor: the one way every layer does these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora::fsutil {

// What ReadAt returns when the file ends before `size` bytes were read.
inline constexpr int kEndOfFile = -1;

// Reads exactly `size` bytes at `offset` (interrupted calls are repeated): 0, kEndOfFile or the errno.
int ReadAt(int fd, void* out, size_t size, uint64_t offset);
// Writes all `size` bytes at `offset`: 0 or the errno (ENOSPC when the system writes nothing).
int WriteAt(int fd, const void* data, size_t size, uint64_t offset);

// The folder for temporary files: `folder` unless empty, else $TMPDIR, else /tmp.
std::string TempFolder(const std::string& folder);
// Makes a file in TempFolder(folder) and unlinks it at once, closed on exec: it vanishes with its descriptor,
// also when the process dies. *fd, and 0 or the errno.
int OpenUnlinkedTempFile(const std::string& folder, int* fd);

}  // namespace velmora::fsutil
