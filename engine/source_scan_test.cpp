// The source scan on real temporary trees, through the POSIX shim, with the recording host.
#include "engine/source_scan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <limits>
#include <string>
#include <vector>

#include "engine/errors.h"
#include "engine/testing/recording_host.h"
#include "fsutil/file_queries.h"
#include "fsutil/testing/temp_tree.h"

namespace velmora::engine {
namespace {

using fsutil::testing::RunningAsRoot;
using fsutil::testing::TempTree;
using Strings = std::vector<std::string>;

class SourceScanTest : public ::testing::Test {
 protected:
  // What the driver does around one scan: empty the queues, next_file_number = 1, pattern "*.*".
  void Scan(std::string path) {
    state_.EmptyQueues();
    engine_.next_file_number = 1;
    engine_.source_path = std::move(path);
    engine_.file_pattern = "*.*";
    ScanSourceFolder(engine_);
  }
  Strings Files() const { return state_.QueuedFiles ? state_.QueuedFiles->Items() : Strings{}; }
  Strings Folders() const { return state_.QueuedFolders ? state_.QueuedFolders->Items() : Strings{}; }
  static Strings Keys(const std::optional<KeyedList>& q) {
    Strings keys;
    if (q) {
      for (const auto& e : q->entries()) keys.push_back(e.key);
    }
    return keys;
  }

  TempTree tree_;
  RunState state_;
  testing::RecordingHost host_;
  Engine engine_{host_, state_};
};

TEST_F(SourceScanTest, SubFoldersBeforeFilesThenDepthFirst) {
  const std::string r = tree_.Folder("R");
  tree_.File("R/r2");
  tree_.File("R/r1");
  tree_.Folder("R/B");
  tree_.File("R/B/b1");
  tree_.Folder("R/A");
  tree_.File("R/A/a1");
  tree_.Folder("R/A/A1");

  Scan(r);
  EXPECT_EQ(engine_.source_path, r + "/");
  EXPECT_EQ(Folders(), (Strings{r + "/A", r + "/B", r + "/A/A1"}));
  EXPECT_EQ(Files(), (Strings{r + "/r1", r + "/r2", r + "/A/a1", r + "/B/b1"}));
  EXPECT_EQ(Keys(state_.QueuedFolders), (Strings{"Z0", "Z1", "Z2"}));
  EXPECT_EQ(Keys(state_.QueuedFiles), (Strings{"K1", "K2", "K3", "K4"}));
  EXPECT_EQ(engine_.next_file_number, 5);
  EXPECT_EQ(engine_.next_folder_number, 3);
  EXPECT_EQ(host_.lines, (Strings{"CountLine=1 Messages Queued for Conversion.",
                                  "CountLine=2 Messages Queued for Conversion.",
                                  "CountLine=3 Messages Queued for Conversion.",
                                  "CountLine=4 Messages Queued for Conversion."}));
  EXPECT_GT(host_.yields, 20);
}

TEST_F(SourceScanTest, EachLevelComesInNtfsOrder) {
  const std::string r = tree_.Folder("R");
  for (const char* n : {"b.eml", "_c.eml", "A.eml", "a0.eml"}) tree_.File(std::string("R/") + n);
  Scan(r);
  EXPECT_EQ(Files(), (Strings{r + "/A.eml", r + "/a0.eml", r + "/b.eml", r + "/_c.eml"}));
}

TEST_F(SourceScanTest, EveryEntryCountsWhateverItsNameOrAttributes) {
  const std::string r = tree_.Folder("R");
  tree_.File("R/noext");
  tree_.File("R/notes.txt");
  tree_.File("R/.hidden");
  tree_.File("R/readonly.eml");
  tree_.Chmod("R/readonly.eml", 0444);
  tree_.Folder("R/.Trash");
  tree_.File("R/.Trash/t.eml");
  tree_.Folder("R/Locked");
  tree_.File("R/Locked/l.eml");
  tree_.Chmod("R/Locked", 0555);
  tree_.Symlink("R/dangling", tree_.Path("nowhere"));

  Scan(r);
  EXPECT_EQ(Folders(), (Strings{r + "/.Trash", r + "/Locked"}));
  EXPECT_EQ(Files(), (Strings{r + "/.hidden", r + "/dangling", r + "/noext", r + "/notes.txt",
                              r + "/readonly.eml", r + "/.Trash/t.eml", r + "/Locked/l.eml"}));
}

TEST_F(SourceScanTest, TrailingSeparatorIsAddedOnceAndTheStartIsNeverQueued) {
  const std::string r = tree_.Folder("R");
  tree_.Folder("R/A");
  tree_.File("R/A/a.eml");
  Scan(r + "/");
  EXPECT_EQ(engine_.source_path, r + "/");
  EXPECT_EQ(Folders(), Strings{r + "/A"});
  EXPECT_EQ(Files(), Strings{r + "/A/a.eml"});
}

TEST_F(SourceScanTest, EmptyMissingAndUnnamedFoldersQueueNothing) {
  const std::string empty = tree_.Folder("Empty");
  host_.SetLine(StatusLine::kCountLine, "before");
  host_.lines.clear();
  Scan(empty);
  Scan(tree_.Path("missing"));
  Scan(tree_.Path("Empty/file-that-is-not-there/"));
  EXPECT_FALSE(state_.QueuedFiles) << "no addition, so no list";
  EXPECT_FALSE(state_.QueuedFolders);
  EXPECT_EQ(host_.Text(StatusLine::kCountLine), "before");
  EXPECT_TRUE(host_.lines.empty());
  EXPECT_EQ(engine_.next_file_number, 1);

  Scan("");
  EXPECT_EQ(engine_.source_path, "/") << "the empty path becomes the separator but is not searched";
  Scan("relative/path");
  EXPECT_EQ(engine_.source_path, "relative/path/");
  EXPECT_FALSE(state_.QueuedFiles);
}

TEST_F(SourceScanTest, FolderNumberCarriesOverFromScanToScan) {
  const std::string one = tree_.Folder("One");
  tree_.Folder("One/X");
  tree_.File("One/X/x.eml");
  const std::string two = tree_.Folder("Two");
  tree_.Folder("Two/Y");
  tree_.Folder("Two/Z");

  Scan(one);
  EXPECT_EQ(Keys(state_.QueuedFolders), Strings{"Z0"});
  Scan(two);
  EXPECT_EQ(Keys(state_.QueuedFolders), (Strings{"Z1", "Z2"}));
  EXPECT_EQ(Keys(state_.QueuedFiles), Strings{});
  EXPECT_EQ(engine_.next_folder_number, 3);
}

TEST_F(SourceScanTest, ResettingTheFileNumberWithoutEmptyingTheQueueIsADuplicateKey) {
  const std::string r = tree_.Folder("R");
  tree_.File("R/a.eml");
  Scan(r);
  engine_.next_file_number = 1;
  engine_.source_path = r;
  try {
    ScanSourceFolder(engine_);
    FAIL() << "expected Error 457";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrKeyAlreadyAssociated);
  }
}

TEST_F(SourceScanTest, CountersOverflowPastTheLargest32BitValue) {
  const std::string r = tree_.Folder("R");
  tree_.Folder("R/A");
  tree_.File("R/a.eml");
  engine_.next_folder_number = std::numeric_limits<int32_t>::max();
  try {
    Scan(r);
    FAIL() << "expected Error 6";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrOverflow);
  }
  EXPECT_EQ(Keys(state_.QueuedFolders), Strings{"Z2147483647"}) << "queued before the counter overflowed";

  engine_.next_folder_number = 0;
  state_.EmptyQueues();
  engine_.next_file_number = std::numeric_limits<int32_t>::max();
  engine_.source_path = r;
  EXPECT_THROW(ScanSourceFolder(engine_), Error);
  EXPECT_EQ(host_.Text(StatusLine::kCountLine), "2147483647 Messages Queued for Conversion.");
}

TEST_F(SourceScanTest, ALinkBackUpTheTreeIsQueuedButNotEnteredAgain) {
  const std::string r = tree_.Folder("R");
  tree_.File("R/r.eml");
  tree_.Folder("R/A");
  tree_.File("R/A/a.eml");
  tree_.Symlink("R/A/loop", r);
  Scan(r);
  EXPECT_EQ(Folders(), (Strings{r + "/A", r + "/A/loop"}));
  EXPECT_EQ(Files(), (Strings{r + "/r.eml", r + "/A/a.eml"}));
}

TEST_F(SourceScanTest, ALinkToAnOutsideFolderIsFollowed) {
  tree_.Folder("Outside");
  tree_.File("Outside/o.eml");
  const std::string r = tree_.Folder("R");
  tree_.Symlink("R/Linked", tree_.Path("Outside"));
  Scan(r);
  EXPECT_EQ(Folders(), Strings{r + "/Linked"});
  EXPECT_EQ(Files(), Strings{r + "/Linked/o.eml"});
}

TEST_F(SourceScanTest, NamesThatAreNotUtf8KeepTheirBytes) {
  const std::string r = tree_.Folder("R");
  tree_.Folder("R/\xFE");
  tree_.File("R/\xFE/\xFF.eml");
  Scan(r);
  EXPECT_EQ(Folders(), Strings{r + "/\xFE"});
  EXPECT_EQ(Files(), Strings{r + "/\xFE/\xFF.eml"});
}

// Folders `levels` deep below `top`, each named with `width` letters: made relative to an open folder, so the
// whole path may grow past what the system accepts in one path. Returns the full path of the deepest.
std::string MakeDeepFolders(const std::string& top, int levels, size_t width) {
  std::string path = top;
  int dir = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < levels && dir >= 0; ++i) {
    const std::string name(width, static_cast<char>('a' + i % 26));
    ::mkdirat(dir, name.c_str(), 0755);
    const int next = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(dir);
    dir = next;
    path += "/" + name;
  }
  if (dir >= 0) ::close(dir);
  return path;
}

// Removes what MakeDeepFolders made, deepest first, through open folders.
void RemoveDeepFolders(int dir, int level, int levels, size_t width) {
  if (level == levels) return;
  const std::string name(width, static_cast<char>('a' + level % 26));
  const int next = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY);
  if (next < 0) return;
  RemoveDeepFolders(next, level + 1, levels, width);
  ::close(next);
  ::unlinkat(dir, name.c_str(), AT_REMOVEDIR);
}

// A folder that cannot be listed contributes only itself, and is reported with the system's reason: a path
// longer than the system allows (for everyone), no permission (only where permission bits deny something).
TEST_F(SourceScanTest, AFolderThatCannotBeListedIsReported) {
  const std::string r = tree_.Folder("R");
  tree_.File("R/r.eml");
  constexpr int kLevels = 17;
  constexpr size_t kWidth = 250;  // 17 x 251 bytes: past the 4,096 a POSIX path may hold
  const std::string deep = MakeDeepFolders(r, kLevels, kWidth);
  const bool as_root = RunningAsRoot();
  if (!as_root) {
    tree_.Folder("R/Closed");
    tree_.File("R/Closed/c.eml");
    tree_.Chmod("R/Closed", 0000);
  }
  Scan(r);
  const int dir = ::open(r.c_str(), O_RDONLY | O_DIRECTORY);
  RemoveDeepFolders(dir, 0, kLevels, kWidth);
  ::close(dir);

  EXPECT_EQ(Files(), Strings{r + "/r.eml"});
  std::vector<FileFailure> want = {{deep, "The filename or extension is too long."}};
  if (!as_root) want.insert(want.begin(), {r + "/Closed", "Access is denied."});
  EXPECT_EQ(engine_.UnreadableFolders, want);
}

TEST_F(SourceScanTest, AClosedStatusWindowReloadsAtTheFirstCountAndDropsWhatWasQueued) {
  const std::string r = tree_.Folder("R");
  tree_.Folder("R/A");
  tree_.File("R/A/a.eml");
  tree_.File("R/r.eml");
  host_.status_loaded = false;
  state_.StopRequested = true;

  Scan(r);
  // R/A and R/r.eml were queued before the first count line loaded the window, whose load handler emptied
  // both queues and cleared the flags; only what came after survives.
  EXPECT_EQ(host_.loads, 1);
  EXPECT_FALSE(state_.StopRequested);
  EXPECT_FALSE(state_.QueuedFolders);
  EXPECT_EQ(Files(), Strings{r + "/A/a.eml"});
  EXPECT_EQ(Keys(state_.QueuedFiles), Strings{"K2"});
  EXPECT_EQ(host_.lines.front(), "LoadStatus");
}

TEST_F(SourceScanTest, WildcardCharactersInFolderNamesAreOrdinaryCharacters) {
  const std::string r = tree_.Folder("wild*top");
  tree_.Folder("wild*top/q?");
  tree_.File("wild*top/q?/a.eml");
  tree_.File("wild*top/st*r.eml");
  Scan(r);
  EXPECT_EQ(Files(), (Strings{r + "/st*r.eml", r + "/q?/a.eml"}));
  EXPECT_TRUE(engine_.UnreadableFolders.empty());
}

TEST_F(SourceScanTest, YieldsBeforeEveryAddition) {
  const std::string r = tree_.Folder("R");
  tree_.Folder("R/A");
  tree_.File("R/a.eml");
  tree_.File("R/b.eml");
  size_t files_at_last_yield = 0;
  size_t folders_at_last_yield = 0;
  bool added_without_yield = false;
  host_.on_yield = [&](int64_t) {
    const size_t files = state_.QueuedFiles ? state_.QueuedFiles->Count() : 0;
    const size_t folders = state_.QueuedFolders ? state_.QueuedFolders->Count() : 0;
    if (files > files_at_last_yield + 1 || folders > folders_at_last_yield + 1) added_without_yield = true;
    files_at_last_yield = files;
    folders_at_last_yield = folders;
  };
  Scan(r);
  EXPECT_FALSE(added_without_yield);
  EXPECT_EQ(Files().size(), 2u);
}

}  // namespace
}  // namespace velmora::engine
