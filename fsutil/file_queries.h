// The file query layer: the attribute query of a path and a directory search that fills one FileEntry per
// entry, with the code of the last failure in the module-wide LastError.
//
// Nothing here raises an error for a file-system failure: failures show as the attribute word with all bits
// set, the invalid-handle value, false, or the record's error fields, with the code in LastError(). Error 18
// (no more files) is the normal end of a search and does not count as an error in the record.
//
// Calling order: FindFirstEntry; if the handle is not kInvalidHandle, use the record, then call FindNextEntry
// until it returns false (it has then closed the search itself), using the record after each true. A caller
// that stops before the end closes the search with CloseFind.
//
// Module state is program-wide and unguarded; one thread calls the module. All system calls go through the
// platform shim (platform_shim.h), which tests replace with ResetFileQueries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fsutil/path_strings.h"
#include "fsutil/platform_shim.h"

namespace velmora::fsutil {

// The record that one step of a directory search fills, in the order of its fields.
struct FileEntry {
  bool error = false;       // the last step failed with a code other than 18
  int32_t error_code = 0;   // that code; 0 otherwise
  bool found = false;       // the last step delivered an entry
  uint32_t handle = 0;      // the open search; kInvalidHandle after a failed start, 0 after the end
  std::string name;         // as the search reports it, cut at its first NUL
  uint32_t attributes = 0;  // as the search reports them
  bool is_folder = false;   // attribute bit 0x10 set
  uint64_t size = 0;        // 0 for a folder
};

// The one-time platform detection; the queries below run it when the module is not yet initialised.
void InitFileQueries();
// The system belongs to the NT family: the queries use the wide calls and the long-path form.
bool UseWideCalls();

// 0 after a successful query; after a failed one the system error code, or -1 when the system reported none.
int32_t LastError();
void SetLastErrorCode(int32_t code);

// The attribute word of `path`; kInvalidAttributes (all bits set, -1) when the query fails.
uint32_t PathAttributes(const std::string& path);

// Starts a search for `search_path` and fills `entry` from the first entry found. Returns the handle;
// kInvalidHandle when the search cannot start; 0 without searching for a search path that begins with "ftp://"
// (in any case).
uint32_t FindFirstEntry(const std::string& search_path, FileEntry& entry);
// Fills `entry` from the next entry and returns true; false after the last entry, with the search closed.
bool FindNextEntry(FileEntry& entry);
// Closes the entry's search when its handle is neither 0 nor kInvalidHandle; true unless the close failed.
bool CloseFind(FileEntry& entry);

// The identity of the folder or file at `path` (see FileId); nothing when it cannot be had. Leaves LastError
// as it is.
std::optional<FileId> PathIdentity(const std::string& path);

// Stores the current system error in LastError and returns context1 + " (" + SystemErrorText(LastError) +
// "): " + context2.
std::string RecordLastError(const std::string& context1, const std::string& context2);

// "Error <code> - <system message>" on one line, or "Error <code> - unknown error."; for code 0 the code the
// last system call left, and "Error - File Possibly In Use/Locked" when that is 0 too.
std::string SystemErrorText(int32_t code);

// The shim the queries call now (SystemKernel() unless a test replaced it).
Kernel& CurrentKernel();

// Test seam: forget the platform detection and LastError and call `kernel` from now on (nullptr: the system
// shim). The next query detects the platform again.
void ResetFileQueries(Kernel* kernel);

}  // namespace velmora::fsutil
