#include "engine/source_scan.h"

#include <set>
#include <utility>
#include <vector>

#include "engine/errors.h"
#include "fsutil/file_queries.h"
#include "fsutil/win32_errors.h"

namespace velmora::engine {
namespace {

using fsutil::FileEntry;
using fsutil::FileId;
using fsutil::kAttributeDirectory;
using fsutil::kInvalidHandle;
using fsutil::kPathSeparator;

// "." and "..", compared without regard to case (they have no case, but the test is written that way).
bool IsDotName(const std::string& name) {
  return name == "." || name == "..";
}

// The folders entered so far in one scan.
class EnteredFolders {
 public:
  // False when the folder at `path` was entered before; true (and noted) otherwise, also when its identity
  // cannot be had (its searches will then find nothing anyway).
  bool Enter(const std::string& path) {
    const std::optional<FileId> id = fsutil::PathIdentity(path);
    return !id || seen_.emplace(id->volume, id->index).second;
  }

 private:
  std::set<std::pair<uint64_t, uint64_t>> seen_;  // volume and file index
};

std::string LastErrorText() {
  const auto code = static_cast<uint32_t>(fsutil::LastError());
  std::string reason = fsutil::SystemMessage(code).value_or("error " + std::to_string(code));
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  return reason;
}

// Notes a folder whose search failed for another reason than finding nothing.
void NoteUnreadable(Engine& engine, const std::string& path) {
  const auto code = static_cast<uint32_t>(fsutil::LastError());
  if (code == fsutil::kErrorFileNotFound || code == fsutil::kErrorNoMoreFiles) return;
  std::string folder = path;
  if (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
  engine.UnreadableFolders.push_back({folder, LastErrorText()});
}

// Whether an entry whose attribute query failed is taken for a folder: only when its path is too long to
// ask about (its search then fails the same way and reports it as an unreadable folder). Any other failure
// (the entry vanished since the listing, a link that leads nowhere or in a circle) says nothing of a folder:
// the file pass reports the entry as a file that cannot be read.
bool TakenForFolder(uint32_t attributes) {
  if (attributes != fsutil::kInvalidAttributes) return (attributes & kAttributeDirectory) != 0;
  return static_cast<uint32_t>(fsutil::LastError()) == fsutil::kErrorFilenameExceedsRange;
}

// Closes a search that an error left open on its way to the caller; a search that ran to its end was closed
// by FindNextEntry already.
class SearchGuard {
 public:
  explicit SearchGuard(FileEntry& entry) : entry_(entry) {}
  ~SearchGuard() {
    if (entry_.handle != 0 && entry_.handle != kInvalidHandle) fsutil::CloseFind(entry_);
  }
  SearchGuard(const SearchGuard&) = delete;
  SearchGuard& operator=(const SearchGuard&) = delete;

 private:
  FileEntry& entry_;
};

void ScanLevel(Engine& engine, std::string& path, EnteredFolders& entered) {
  RunState& state = engine.run_state();

  // 1. The trailing separator.
  const bool names_nothing = path.empty();
  if (path.empty() || path.back() != kPathSeparator) path.push_back(kPathSeparator);
  engine.Yield();
  if (names_nothing || !entered.Enter(path)) return;

  // 2. Sub-folder pass: every entry of the folder; those whose attribute word has 0x10 are queued.
  std::vector<std::string> sub_folders;
  FileEntry entry;
  if (fsutil::FindFirstEntry(path + "*", entry) != kInvalidHandle) {
    SearchGuard guard(entry);
    do {
      engine.Yield();
      const std::string name = entry.name;
      if (IsDotName(name)) continue;
      engine.Yield();
      if (TakenForFolder(fsutil::PathAttributes(path + name))) {
        engine.Yield();
        sub_folders.push_back(name);
        RunState::AddToQueue(state.QueuedFolders, path + name,
                             "Z" + std::to_string(engine.next_folder_number));
        engine.next_folder_number = CheckedIncrement(engine.next_folder_number);
      }
    } while (fsutil::FindNextEntry(entry));
  } else {
    NoteUnreadable(engine, path);
    return;
  }

  // 3. File pass: the entries that match the pattern and are not folders.
  if (fsutil::FindFirstEntry(path + engine.file_pattern, entry) != kInvalidHandle) {
    SearchGuard guard(entry);
    engine.Yield();
    do {
      engine.Yield();
      const std::string name = entry.name;
      const uint32_t attributes = fsutil::PathAttributes(path + name);  // for "." and ".." too
      if (!IsDotName(name) && attributes == fsutil::kInvalidAttributes) {
        if (!TakenForFolder(attributes)) engine.UnreadableFiles.push_back({path + name, LastErrorText()});
      } else if (!IsDotName(name) && (attributes & kAttributeDirectory) == 0) {
        engine.Yield();
        RunState::AddToQueue(state.QueuedFiles, path + name, "K" + std::to_string(engine.next_file_number));
        engine.SetLine(StatusLine::kCountLine, std::to_string(engine.next_file_number) + kQueuedSuffix);
        engine.next_file_number = CheckedIncrement(engine.next_file_number);
      }
    } while (fsutil::FindNextEntry(entry));
  }

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
