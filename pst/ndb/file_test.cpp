// The File implementations: on disk (POSIX, or Win32 under Wine), memory, and the fault-injecting file the
// crash tests rely on.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include <cstdlib>

#include "fsutil/testing/temp_tree.h"
#include "pst/ndb/testing/fault_file.h"

namespace velmora::pst {
namespace {

class PosixFileTest : public ::testing::Test {
 protected:
  fsutil::testing::TempTree dir_;
  std::string path_ = dir_.Path("f.pst");
};

TEST_F(PosixFileTest, WritesReadsGrowsAndShrinks) {
  auto f = OpenDiskFile(path_, OpenMode::kCreateNew);
  ASSERT_TRUE(f.ok()) << f.status().ToString();
  std::vector<uint8_t> data = {1, 2, 3, 4, 5};
  ASSERT_TRUE((*f)->WriteAt(100, data).ok());
  EXPECT_EQ(*(*f)->Size(), 105u);
  std::vector<uint8_t> back(5);
  ASSERT_TRUE((*f)->ReadAt(100, back).ok());
  EXPECT_EQ(back, data);
  std::vector<uint8_t> hole(4);
  ASSERT_TRUE((*f)->ReadAt(0, hole).ok());
  EXPECT_EQ(hole, std::vector<uint8_t>(4, 0));
  ASSERT_TRUE((*f)->Sync().ok());
  ASSERT_TRUE((*f)->SetSize(50).ok());
  EXPECT_EQ(*(*f)->Size(), 50u);
  EXPECT_EQ((*f)->ReadAt(48, back).code(), Code::kIoError);  // past the end
}

TEST_F(PosixFileTest, CreateNewNeverClobbers) {
  {
    auto f = OpenDiskFile(path_, OpenMode::kCreateNew);
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE((*f)->WriteAt(0, std::vector<uint8_t>(10, 7)).ok());
  }
  EXPECT_EQ(OpenDiskFile(path_, OpenMode::kCreateNew).status().code(), Code::kAlreadyExists);
  {
    auto rw = OpenDiskFile(path_, OpenMode::kReadWrite);
    ASSERT_TRUE(rw.ok());
    EXPECT_EQ(*(*rw)->Size(), 10u);
  }
  auto trunc = OpenDiskFile(path_, OpenMode::kCreateOrTruncate);
  ASSERT_TRUE(trunc.ok());
  EXPECT_EQ(*(*trunc)->Size(), 0u);
}

TEST_F(PosixFileTest, ReadOnlyRefusesWritesAndMissingFilesAreNotFound) {
  EXPECT_EQ(OpenDiskFile(path_, OpenMode::kReadOnly).status().code(), Code::kNotFound);
  { ASSERT_TRUE(OpenDiskFile(path_, OpenMode::kCreateNew).ok()); }
  auto ro = OpenDiskFile(path_, OpenMode::kReadOnly);
  ASSERT_TRUE(ro.ok());
  EXPECT_EQ((*ro)->WriteAt(0, std::vector<uint8_t>(1)).code(), Code::kIoError);
}

// One writer, within one process too: every second writable open fails (the truncating one without
// truncating) while readers still open and read; a shared reader waits for no one once the writer is gone.
TEST_F(PosixFileTest, OneWriterAtATime) {
  {
    auto f = OpenDiskFile(path_, OpenMode::kCreateNew);
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE((*f)->WriteAt(0, std::vector<uint8_t>(10, 7)).ok());
  }
  {
    auto held = OpenDiskFile(path_, OpenMode::kReadWrite);
    ASSERT_TRUE(held.ok());
    for (OpenMode mode : {OpenMode::kReadWrite, OpenMode::kCreateOrTruncate}) {
      auto second = OpenDiskFile(path_, mode);
      ASSERT_FALSE(second.ok());
      EXPECT_EQ(second.status().message(), path_ + " is in use by another program");
    }
    EXPECT_EQ(OpenDiskFileShared(path_, false).status().message(),
              path_ + " is being written by another program");
    auto reader = OpenDiskFile(path_, OpenMode::kReadOnly);
    ASSERT_TRUE(reader.ok());
    std::vector<uint8_t> back(10);
    ASSERT_TRUE((*reader)->ReadAt(0, back).ok());
    EXPECT_EQ(back, std::vector<uint8_t>(10, 7));
  }
  EXPECT_TRUE(OpenDiskFileShared(path_, false).ok());
}

#ifndef _WIN32
// The lock goes with the process: while another process holds the file open for writing no writable open
// succeeds; when that process is killed the file is free.
TEST_F(PosixFileTest, ASecondProcessCannotOpenForWriting) {
  {
    auto f = OpenDiskFile(path_, OpenMode::kCreateNew);
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE((*f)->WriteAt(0, std::vector<uint8_t>(10, 7)).ok());
  }
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto held = OpenDiskFile(path_, OpenMode::kReadWrite);
    char c = held.ok() ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    ::pause();  // until killed
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  for (OpenMode mode : {OpenMode::kReadWrite, OpenMode::kCreateOrTruncate}) {
    auto second = OpenDiskFile(path_, mode);
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.status().message(), path_ + " is in use by another program");
  }
  auto reader = OpenDiskFile(path_, OpenMode::kReadOnly);
  ASSERT_TRUE(reader.ok());
  EXPECT_EQ(*(*reader)->Size(), 10u);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_TRUE(OpenDiskFile(path_, OpenMode::kReadWrite).ok());
}
#endif

TEST(MemoryFileTest, BehavesLikeAFile) {
  MemoryFile f;
  ASSERT_TRUE(f.WriteAt(3, std::vector<uint8_t>{9}).ok());
  EXPECT_EQ(f.bytes(), (std::vector<uint8_t>{0, 0, 0, 9}));
  std::vector<uint8_t> two(2);
  EXPECT_FALSE(f.ReadAt(3, two).ok());
  ASSERT_TRUE(f.SetSize(1).ok());
  EXPECT_EQ(*f.Size(), 1u);
}

TEST(FaultInjectingFileTest, CrashDropsWhatWasNotSynced) {
  FaultInjectingFile f;
  ASSERT_TRUE(f.WriteAt(0, std::vector<uint8_t>{1, 2}).ok());
  ASSERT_TRUE(f.Sync().ok());
  ASSERT_TRUE(f.WriteAt(0, std::vector<uint8_t>{3}).ok());
  ASSERT_TRUE(f.WriteAt(10, std::vector<uint8_t>{4}).ok());
  EXPECT_EQ(f.current().size(), 11u);
  f.Crash();
  EXPECT_EQ(f.current(), (std::vector<uint8_t>{1, 2}));
}

TEST(FaultInjectingFileTest, FailsTheNthWriteTornOnceOrForGood) {
  FaultInjectingFile f;
  f.FailWrite(2);
  EXPECT_TRUE(f.WriteAt(0, std::vector<uint8_t>{1, 1, 1, 1}).ok());
  EXPECT_EQ(f.WriteAt(0, std::vector<uint8_t>{2, 2, 2, 2}).code(), Code::kIoError);
  EXPECT_EQ(f.current(), (std::vector<uint8_t>{2, 2, 1, 1}));  // torn: the first half landed
  EXPECT_TRUE(f.WriteAt(0, std::vector<uint8_t>{3}).ok());     // once only
  f.FailWrite(1, /*sticky=*/true);
  EXPECT_FALSE(f.WriteAt(0, std::vector<uint8_t>{4}).ok());
  EXPECT_FALSE(f.WriteAt(0, std::vector<uint8_t>{4}).ok());
  f.ClearFaults();
  EXPECT_TRUE(f.WriteAt(0, std::vector<uint8_t>{4}).ok());
}

TEST(FaultInjectingFileTest, FailedSyncKeepsTheOldDurableImage) {
  FaultInjectingFile f(std::vector<uint8_t>{7});
  ASSERT_TRUE(f.WriteAt(0, std::vector<uint8_t>{8}).ok());
  f.FailSync(1);
  EXPECT_FALSE(f.Sync().ok());
  f.Crash();
  EXPECT_EQ(f.current(), std::vector<uint8_t>{7});
}

TEST(FaultInjectingFileTest, FullDiskRefusesGrowth) {
  FaultInjectingFile f;
  f.SetCapacity(10);
  EXPECT_TRUE(f.WriteAt(0, std::vector<uint8_t>(10)).ok());
  EXPECT_EQ(f.WriteAt(9, std::vector<uint8_t>(2)).code(), Code::kNoSpace);
  EXPECT_EQ(f.SetSize(11).code(), Code::kNoSpace);
}

}  // namespace
}  // namespace velmora::pst
