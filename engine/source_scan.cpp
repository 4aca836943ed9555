#include "engine/source_scan.h"

#include <set>
#include <utility>
#include <vector>

#include "engine/errors.h"
#include "fsutil/file_queries.h"
#include "fsutil/name_order.h"
#include "fsutil/win32_errors.h"

namespace velmora::engine {
namespace {

using fsutil::FileId;
using fsutil::kAttributeDirectory;
using fsutil::kPathSeparator;

// The folders entered so far in one scan.
class EnteredFolders {
 public:
  // False when the folder at `path` was entered before; true (and noted) otherwise, also when its identity
  // cannot be had (its listing will then find nothing anyway).
  bool Enter(const std::string& path) {
    const std::optional<FileId> id = fsutil::PathIdentity(path);
    return !id || seen_.emplace(id->volume, id->index).second;
  }

 private:
  std::set<std::pair<uint64_t, uint64_t>> seen_;  // volume and file index
};

std::string ErrorText(uint32_t code) {
  std::string reason = fsutil::SystemMessage(code).value_or("error " + std::to_string(code));
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  return reason;
}

// Notes a folder that could not be listed, or not to its end, with the system's reason.
void NoteUnreadable(Engine& engine, const std::string& path, uint32_t code) {
  std::string folder = path;
  if (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
  engine.UnreadableFolders.push_back({folder, ErrorText(code)});
}

// Whether an entry whose attribute query failed with `error` is taken for a folder: only when its path is too
// long to ask about (its listing then fails the same way and reports it as an unreadable folder). Any other
// failure (the entry vanished since the listing, a link that leads nowhere or in a circle) says nothing of a
// folder: the file pass reports the entry as a file that cannot be read.
bool TakenForFolder(uint32_t attributes, uint32_t error) {
  if (attributes != fsutil::kInvalidAttributes) return (attributes & kAttributeDirectory) != 0;
  return error == fsutil::kErrorFilenameExceedsRange;
}

void ScanLevel(Engine& engine, std::string& path, EnteredFolders& entered) {
  RunState& state = engine.run_state();

  // 1. The trailing separator.
  const bool names_nothing = path.empty();
  if (path.empty() || path.back() != kPathSeparator) path.push_back(kPathSeparator);
  engine.Yield();
  if (names_nothing || !entered.Enter(path)) return;

  // 2. Sub-folder pass: every entry of the folder; those whose attribute word has 0x10 are queued.
  std::vector<std::string> sub_folders;
  fsutil::FolderListing folders = fsutil::ListFolder(path);
  for (std::string name; folders.Next(&name);) {
    engine.Yield();
    uint32_t error = 0;
    const uint32_t attributes = fsutil::PathAttributes(path + name, &error);
    if (TakenForFolder(attributes, error)) {
      engine.Yield();
      sub_folders.push_back(name);
      RunState::AddToQueue(state.QueuedFolders, path + name, "Z" + std::to_string(engine.next_folder_number));
      engine.next_folder_number = CheckedIncrement(engine.next_folder_number);
    }
  }
  if (folders.error() != 0) {
    NoteUnreadable(engine, path, folders.error());
    return;
  }

  // 3. File pass: the entries that match the pattern and are not folders.
  fsutil::FolderListing files = fsutil::ListFolder(path);
  engine.Yield();
  for (std::string name; files.Next(&name);) {
    engine.Yield();
    if (!fsutil::MatchesPattern(name, engine.file_pattern)) continue;
    uint32_t error = 0;
    const uint32_t attributes = fsutil::PathAttributes(path + name, &error);
    if (attributes == fsutil::kInvalidAttributes) {
      if (!TakenForFolder(attributes, error))
        engine.UnreadableFiles.push_back({path + name, ErrorText(error)});
    } else if ((attributes & kAttributeDirectory) == 0) {
      engine.Yield();
      RunState::AddToQueue(state.QueuedFiles, path + name, "K" + std::to_string(engine.next_file_number));
      engine.SetLine(StatusLine::kCountLine, std::to_string(engine.next_file_number) + kQueuedSuffix);
      engine.next_file_number = CheckedIncrement(engine.next_file_number);
    }
  }
  if (files.error() != 0) NoteUnreadable(engine, path, files.error());

  // 4. Recursion, in the order the sub-folder pass found them.
  if (!sub_folders.empty()) {
    engine.Yield();
    for (const std::string& name : sub_folders) {
      engine.Yield();
      std::string sub_path = path + name + kPathSeparator;
      ScanLevel(engine, sub_path, entered);
    }
  }
}

}  // namespace

void ScanSourceFolder(Engine& engine) {
  EnteredFolders entered;
  engine.UnreadableFolders.clear();
  engine.UnreadableFiles.clear();
  ScanLevel(engine, engine.source_path, entered);
}

}  // namespace velmora::engine
