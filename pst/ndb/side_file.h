// A new file is made under a side name beside the path it is meant for and put at that path only once it
// is whole, so the path never shows half a file. The side name is the path + ".new." + 16 random hex digits:
// no other run and no user picks it. The side file is created exclusively and never through a link, so an
// existing file of any name (a store a user renamed, a file a link points at) is never opened, emptied or
// replaced. Every file-system call goes through the platform layer (fsutil/file_names.h), so Windows makes
// the side file with CreateFileW CREATE_NEW and publishes it with MoveFileExW, never replacing.
#pragma once

#include <memory>
#include <string>

#include "pst/ndb/file.h"

namespace velmora::pst {

enum class PathKind { kMissing, kFile, kOther };
// What is at `path` (links followed); a missing path whose folder does not exist is kMissing too.
PathKind KindOf(const std::string& path);

struct SideFile {
  std::unique_ptr<File> file;  // open for writing, locked as OpenDiskFile locks
  std::string side_path;
};
// Creates the side file of `path`. Side files of `path` that a run left behind (no process holds their lock)
// lose their names first; their content is never touched (one may be a second name of a store).
Result<SideFile> CreateSideFile(const std::string& path);

// Puts the side file at `path`. Never replaces: kAlreadyExists when `path` was taken meanwhile. Where the
// file system cannot rename without replacing (FAT and exFAT through FUSE), the check and the rename run
// under a lock on the folder that every run of this program takes to publish there.
Status PublishSideFile(const std::string& side_path, const std::string& path);

// Removes the side name (not the content other names may still reach).
void RemoveSideFile(const std::string& side_path);

}  // namespace velmora::pst
