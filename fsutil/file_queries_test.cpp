// The query layer: first over the real POSIX shim and a temporary tree, then over a scripted shim for the
// branches a POSIX system never takes (other platforms, failing calls).
#include "fsutil/file_queries.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "fsutil/testing/fake_kernel.h"
#include "fsutil/testing/temp_tree.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

using testing::FakeKernel;
using testing::TempTree;

class FileQueriesTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFileQueries(nullptr); }
  void TearDown() override { ResetFileQueries(nullptr); }
  TempTree tree_;
};

TEST_F(FileQueriesTest, PosixCountsAsTheNtFamily) {
  EXPECT_TRUE(UseWideCalls());
}

TEST_F(FileQueriesTest, PathAttributesSetsLastError) {
  tree_.Folder("Inbox");
  EXPECT_EQ(PathAttributes(tree_.Path("missing")), kInvalidAttributes);
  EXPECT_EQ(LastError(), 2);
  EXPECT_EQ(PathAttributes(tree_.Path("missing/x")), kInvalidAttributes);
  EXPECT_EQ(LastError(), 3);
  EXPECT_EQ(PathAttributes(tree_.Path("Inbox")), kAttributeDirectory);
  EXPECT_EQ(LastError(), 0);
  EXPECT_EQ(PathAttributes("relative/path"), kInvalidAttributes);  // names nothing in long-path form
  EXPECT_EQ(LastError(), 3);
}

TEST_F(FileQueriesTest, SearchFillsOneRecordPerEntryAndClosesAtTheEnd) {
  tree_.Folder("Sub");
  tree_.File("file.tar.gz", "12345");
  FileEntry e;
  const std::string search_path = tree_.root() + "/*";
  const uint32_t h = FindFirstEntry(search_path, e);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_EQ(e.handle, h);
  EXPECT_TRUE(e.found);
  EXPECT_EQ(e.name, ".");
  EXPECT_TRUE(e.is_folder);

  ASSERT_TRUE(FindNextEntry(e));
  EXPECT_EQ(e.name, "..");
  ASSERT_TRUE(FindNextEntry(e));
  EXPECT_EQ(e.name, "file.tar.gz");
  EXPECT_FALSE(e.is_folder);
  EXPECT_EQ(e.size, 5u);
  ASSERT_TRUE(FindNextEntry(e));
  EXPECT_EQ(e.name, "Sub");
  EXPECT_EQ(e.size, 0u);

  EXPECT_FALSE(FindNextEntry(e));
  EXPECT_FALSE(e.found);
  EXPECT_FALSE(e.error);
  EXPECT_EQ(e.error_code, 0);
  EXPECT_EQ(e.handle, 0u);
  EXPECT_EQ(LastError(), 0);
  EXPECT_FALSE(SystemKernel().FindClose(h)) << "the search should already be closed";
}

TEST_F(FileQueriesTest, ASearchThatMatchesNothingIsAnError) {
  tree_.File("a.eml");
  FileEntry e;
  EXPECT_EQ(FindFirstEntry(tree_.Path("*.pst"), e), kInvalidHandle);
  EXPECT_EQ(e.handle, kInvalidHandle);
  EXPECT_FALSE(e.found);
  EXPECT_TRUE(e.error);
  EXPECT_EQ(e.error_code, 2);
  EXPECT_EQ(LastError(), 2);
  EXPECT_TRUE(CloseFind(e)) << "nothing to close";
}

TEST_F(FileQueriesTest, CloseFindEndsAnOpenSearch) {
  tree_.File("a.eml");
  FileEntry e;
  const uint32_t h = FindFirstEntry(tree_.Path("*"), e);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_TRUE(CloseFind(e));
  EXPECT_FALSE(e.found);
  EXPECT_EQ(e.handle, kInvalidHandle);
  EXPECT_FALSE(SystemKernel().FindClose(h));
}

TEST_F(FileQueriesTest, FtpPathsAreNotSearched) {
  FileEntry e;
  e.error = true;
  EXPECT_EQ(FindFirstEntry("FTP://host/dir/*", e), 0u);
  EXPECT_FALSE(e.found);
  EXPECT_FALSE(e.error);
}

TEST_F(FileQueriesTest, FiveBillionByteFile) {
  tree_.SparseFile("big.pst", 5'000'000'000ULL);
  FileEntry e;
  const uint32_t h = FindFirstEntry(tree_.Path("big.pst"), e);
  ASSERT_NE(h, kInvalidHandle);
  CloseFind(e);
  EXPECT_EQ(e.size, 5'000'000'000ULL);
}

TEST_F(FileQueriesTest, SystemErrorTextAndRecordLastError) {
  EXPECT_EQ(SystemErrorText(5), "Error 5 - Access is denied.");
  EXPECT_EQ(SystemErrorText(18), "Error 18 - There are no more files.");
  EXPECT_EQ(SystemErrorText(99'999), "Error 99999 - unknown error.");
  EXPECT_EQ(SystemErrorText(-1), "Error -1 - unknown error.");

  PathAttributes(tree_.Path("missing"));
  EXPECT_EQ(RecordLastError("ctx", "more"),
            "ctx (Error 2 - The system cannot find the file specified.): more");
  PathAttributes(tree_.root());  // a success leaves the system's last error as it was
  EXPECT_EQ(LastError(), 0);
  EXPECT_EQ(SystemErrorText(0), "Error 2 - The system cannot find the file specified.");
}

// --- Over a scripted shim ---------------------------------------------------------------------------------

class ScriptedQueriesTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFileQueries(&kernel_); }
  void TearDown() override { ResetFileQueries(nullptr); }

  FindData File(const std::string& name, uint32_t attributes = kAttributeNormal) {
    FindData fd;
    fd.file_name = name;
    fd.attributes = attributes;
    fd.size_low = 100;
    return fd;
  }

  FakeKernel kernel_;
};

TEST_F(ScriptedQueriesTest, PlatformDetectionFallsBackStepByStep) {
  struct Case {
    const char* what;
    bool loaded, ex_w, ex_a;
    std::optional<uint32_t> w, a;
    uint32_t version;
    bool wide;
  };
  const Case cases[] = {
      {"NT by GetVersionExW", true, true, true, 2, 1, 0x8000'0000, true},
      {"GetVersionExW fails, 9x by GetVersionExA", true, true, true, std::nullopt, 1, 0, false},
      {"neither exported, GetVersion high bit clear", true, false, false, 2, 2, 0x0000'0105, true},
      {"both fail, GetVersion high bit set", true, true, true, std::nullopt, std::nullopt, 0x8000'0000,
       false},
      {"kernel32 does not load", false, true, true, 2, 2, 0, false},
  };
  for (const Case& c : cases) {
    FakeKernel k;
    k.exports = {c.loaded, c.ex_w, c.ex_a};
    k.version_ex_w = c.w;
    k.version_ex_a = c.a;
    k.version = c.version;
    ResetFileQueries(&k);
    EXPECT_EQ(UseWideCalls(), c.wide) << c.what;
    PathAttributes("/");
    EXPECT_EQ(k.load_calls, 1) << c.what << ": the detection runs once";
    ASSERT_FALSE(k.widths.empty());
    EXPECT_EQ(k.widths.back(), c.wide ? CallWidth::kWide : CallWidth::kAnsi) << c.what;
  }
  ResetFileQueries(&kernel_);
}

TEST_F(ScriptedQueriesTest, NamesAreCutAtNulAndSizesJoinTheirHalves) {
  FindData big = File(std::string("a.eml\0garbage", 13));
  big.size_high = 1;
  kernel_.listing = std::vector<FindData>{big};
  FileEntry e;
  FindFirstEntry("/mail/*", e);
  EXPECT_EQ(e.name, "a.eml");
  EXPECT_EQ(e.size, 4'294'967'396ULL);
}

TEST_F(ScriptedQueriesTest, AFailedCloseIsRecorded) {
  kernel_.listing = std::vector<FindData>{File("a"), File("b")};
  kernel_.close_fails = true;
  FileEntry e;
  FindFirstEntry("/x/*", e);
  EXPECT_FALSE(CloseFind(e));
  EXPECT_EQ(LastError(), 6);
  EXPECT_EQ(e.handle, kInvalidHandle);
}

TEST_F(ScriptedQueriesTest, MessagesAreCleanedToOneLine) {
  kernel_.messages[7] = std::string(" Line one.\r\nLine\0 two.\rx\n \r\n", 28);
  EXPECT_EQ(SystemErrorText(7), "Error 7 - Line one. Line two.x");
}

TEST_F(ScriptedQueriesTest, AFailureWithoutACodeRecordsMinusOne) {
  kernel_.attribute_failure = 0;
  EXPECT_EQ(PathAttributes("/x"), kInvalidAttributes);
  EXPECT_EQ(LastError(), -1);
  EXPECT_EQ(SystemErrorText(LastError()), "Error -1 - unknown error.");
}

TEST_F(ScriptedQueriesTest, CodeZeroWithoutASystemErrorBlamesALock) {
  EXPECT_EQ(SystemErrorText(0), "Error - File Possibly In Use/Locked");
}

}  // namespace
}  // namespace velmora::fsutil
