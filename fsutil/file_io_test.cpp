// The file layer on the system it runs on (POSIX, or Win32 under Wine): the same promises from both.
#include "fsutil/file_io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "fsutil/file_names.h"
#include "fsutil/file_queries.h"
#include "fsutil/now.h"
#include "fsutil/testing/temp_tree.h"

namespace velmora::fsutil {
namespace {

using testing::TempTree;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  FolderListing listing = ListFolder(folder);
  for (std::string name; listing.Next(&name);) names.push_back(name);
  return names;
}

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) CloseFile(fd);
  }
};

// Offsets past 4 GiB, binary bytes kept as written, exclusive creation, and sizes set both ways.
TEST(FileIoTest, PositionedInputAndOutputAre64BitAndBinary) {
  TempTree tree;
  const std::string path = tree.Path("store.pst");
  Descriptor f;
  ASSERT_EQ(OpenFile(path, OpenFor::kCreateNew, &f.fd), 0);
  const std::string bytes = "\r\n\n\x1a\r\x00\xff";
  const uint64_t far = (uint64_t{5} << 30) + 3;  // 5 GiB: a 32-bit offset would wrap
  ASSERT_EQ(WriteAt(f.fd, bytes.data(), bytes.size(), far), 0);
  FileFacts facts;
  ASSERT_EQ(FactsOfFile(f.fd, &facts), 0);
  EXPECT_EQ(facts.size, far + bytes.size());
  EXPECT_TRUE(facts.regular);
  std::string back(bytes.size(), '?');
  ASSERT_EQ(ReadAt(f.fd, back.data(), back.size(), far), 0);
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(ReadAt(f.fd, back.data(), back.size(), far + 1), kEndOfFile);
  EXPECT_EQ(SyncFile(f.fd), 0);
  ASSERT_EQ(SetFileSize(f.fd, 10), 0);
  ASSERT_EQ(FactsOfFile(f.fd, &facts), 0);
  EXPECT_EQ(facts.size, 10u);
  int again = -1;
  EXPECT_EQ(OpenFile(path, OpenFor::kCreateNew, &again), EEXIST);
  EXPECT_EQ(OpenFile(tree.Path("missing"), OpenFor::kReading, &again), ENOENT);
}

// One writer: a second exclusive lock and a shared one fail while the first is held (also within one
// process, as flock and LockFileEx both lock per open file); readers share; the data stays readable.
TEST(FileIoTest, LocksKeepOneWriterAndLetReadersShare) {
  TempTree tree;
  const std::string path = tree.File("store.pst", "data");
  Descriptor writer, other, reader1, reader2;
  ASSERT_EQ(OpenFile(path, OpenFor::kReadWrite, &writer.fd), 0);
  ASSERT_EQ(OpenFile(path, OpenFor::kReadWrite, &other.fd), 0);
  ASSERT_EQ(OpenFile(path, OpenFor::kReading, &reader1.fd), 0);
  ASSERT_EQ(OpenFile(path, OpenFor::kReading, &reader2.fd), 0);
  ASSERT_EQ(LockFile(writer.fd, LockKind::kExclusive, false), 0);
  EXPECT_EQ(LockFile(other.fd, LockKind::kExclusive, false), EWOULDBLOCK);
  EXPECT_EQ(LockFile(reader1.fd, LockKind::kShared, false), EWOULDBLOCK);
  char c = 0;
  EXPECT_EQ(ReadAt(reader1.fd, &c, 1, 0), 0) << "a lock never keeps readers from the data";
  CloseFile(writer.fd);
  writer.fd = -1;
  EXPECT_EQ(LockFile(reader1.fd, LockKind::kShared, false), 0);
  EXPECT_EQ(LockFile(reader2.fd, LockKind::kShared, false), 0);
  EXPECT_EQ(LockFile(other.fd, LockKind::kExclusive, false), EWOULDBLOCK);
}

// Publishing never replaces and leaves no side name; a temporary file leaves nothing behind; the sweep takes
// only unlocked names. Names outside ASCII arrive intact through every call.
TEST(FileIoTest, NamesArePublishedWithoutReplacingAndNothingIsLeftBehind) {
  TempTree tree;
  tree.Folder("Zürich_東京");
  const std::string folder = tree.Path("Zürich_東京");
  const std::string target = folder + kPathSeparator + "Ελληνικά.pst";
  const std::string side = target + ".new.1";
  Descriptor made;
  ASSERT_EQ(OpenFile(side, OpenFor::kCreateNew, &made.fd), 0);
  ASSERT_EQ(LockFile(made.fd, LockKind::kExclusive, false), 0);
  tree.File("Zürich_東京/Ελληνικά.pst", "meanwhile");
  EXPECT_EQ(PublishName(side, target), EEXIST);
  ASSERT_EQ(RemoveName(target), 0);
  EXPECT_EQ(PublishName(side, target), 0) << "the open, locked file is published";
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"Ελληνικά.pst"}));

  int temp = -1;
  ASSERT_EQ(OpenUnlinkedTempFile(folder, &temp), 0);
  ASSERT_EQ(WriteAt(temp, "x", 1, 0), 0);
  CloseFile(temp);
  tree.File("Zürich_東京/old.new.2");
  RemoveUnlockedFiles(folder,
                      [](const std::string& name) { return name.find(".new.") != std::string::npos; });
  RemoveUnlockedFiles(folder, [](const std::string& name) { return name.ends_with(".pst"); });
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"Ελληνικά.pst"})) << "locked by `made`";
}

TEST(CalendarTest, UtcFieldsAreWorkedOutTheSameEverywhere) {
  std::tm t{};
  ASSERT_TRUE(UtcCalendar(-11644473600LL, &t));  // the FILETIME epoch
  EXPECT_EQ((std::vector<int>{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_wday, t.tm_yday}),
            (std::vector<int>{1601, 1, 1, 1, 0}));
  ASSERT_TRUE(UtcCalendar(951782400 + 86399, &t));  // 2000-02-29 23:59:59, a leap day of a 400th year
  EXPECT_EQ(
      (std::vector<int>{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_yday}),
      (std::vector<int>{2000, 2, 29, 23, 59, 59, 59}));
}

}  // namespace
}  // namespace velmora::fsutil
