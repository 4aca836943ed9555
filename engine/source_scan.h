// The message source scan: walks one mailbox folder and every folder below it, queues every file it meets in
// QueuedFiles and every folder below the starting folder in QueuedFolders, and keeps the count line current.
//
// What the scan adds:
//   QueuedFiles    item: path (with its trailing separator) + file name     key: "K" + engine.next_file_number at the time
//   QueuedFolders  item: path (with its trailing separator) + folder name   key: "Z" + engine.next_folder_number at the time
//                  (no trailing separator)
//
// Order: all sub-folders of a folder are queued before any file of that folder; a folder's own files before
// anything below it; deeper levels follow depth-first, in the order in which the searches returned the
// sub-folders. Nothing is sorted: each level comes in the file system's order. For a folder R holding the
// files r1, r2 and the sub-folders A (file a1, sub-folder A1) and B (file b1): QueuedFolders = R/A, R/B,
// R/A/A1 and QueuedFiles = R/r1, R/r2, R/A/a1, R/B/b1.
//
// Every file of every name is queued ("*.*" matches names without a dot); only attribute bit 0x10 decides
// between folder and file, taken from a separate attribute query on the full path. An entry whose attribute
// query fails counts as a folder only when its path is too long to ask about; otherwise (it vanished, or is a
// link that leads nowhere) it is noted in Engine::UnreadableFiles with the system's reason. A folder that
// cannot be searched contributes nothing and is noted in Engine::UnreadableFolders with the system's reason.
//
// Errors pass to the caller: a key that is already taken (Error 457), a counter past 2,147,483,647 (Error 6).
#pragma once

#include <cstdint>
#include <string>

#include "engine/engine.h"

namespace velmora::engine {

// The text after the running file count on the count line.
inline constexpr const char* kQueuedSuffix = " Messages Queued for Conversion.";

// Scans engine.source_path (the separator is appended to it when missing) with engine.file_pattern for the
// file pass. engine.next_file_number is the ordinal of the next queued file and engine.next_folder_number
// that of the next queued folder, both shared by all levels; the scan advances them. Writes the count line
// through `engine` and yields before each entry and each addition.
//
// Two rules beyond the plain walk:
//  - A folder is entered at most once per scan (by its volume and file index, links followed), so a link
//    that leads back up the tree is queued as a folder but not entered again.
//  - An empty path becomes the lone separator but is not searched: on Windows that names no full path under
//    the long-path prefix, on POSIX it would be the root of the whole file system.
void ScanSourceFolder(Engine& engine);

}  // namespace velmora::engine
