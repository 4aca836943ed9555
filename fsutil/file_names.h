// Names of files: removing one, publishing a finished file under the name it is meant for without ever
// replacing what is there, sweeping the files a stopped run left behind, and random bytes for names no other
// run picks. Paths are UTF-8; failures are errno values as in file_io.h.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace velmora::fsutil {

// Removes the name `path`; the content lives on while another name or an open descriptor reaches it (on
// Windows the name goes when the last descriptor closes). 0 or the errno.
int RemoveName(const std::string& path);

// Gives the file named `from` the name `to`, never replacing: EEXIST when `to` is taken. Once it returns 0
// the new name is durable (POSIX: renameat2 RENAME_NOREPLACE, then the folder is synced; Windows: MoveFileExW
// with MOVEFILE_WRITE_THROUGH and without MOVEFILE_REPLACE_EXISTING). The file may be open, by this process
// too. Where a POSIX file system renames only by replacing (FAT and exFAT through FUSE), the look and the
// rename run under a lock on the folder that every run of this program takes to publish there.
int PublishName(const std::string& from, const std::string& to);

// Removes each regular file in `folder` whose name `wanted` accepts and that no descriptor holds a lock on
// (LockFile): what a run that ended without finishing left behind. Links are never followed and content is
// never touched, only names go.
void RemoveUnlockedFiles(const std::string& folder, const std::function<bool(const std::string&)>& wanted);

// Bytes from the system's random source (getrandom, BCryptGenRandom), never from the reproducible sequence
// of now.h; where the source fails, the process, the time and a counter still differ between runs.
void SystemRandomBytes(std::span<uint8_t> out);

// `digits` lower-case hexadecimal digits (an even number) from SystemRandomBytes: names no other run will pick.
std::string RandomHexName(size_t digits);

// The folder part of a path (everything before its last separator; "." when it has none), and the last part.
std::string FolderOfPath(const std::string& path);
std::string LeafOfPath(const std::string& path);

}  // namespace velmora::fsutil
