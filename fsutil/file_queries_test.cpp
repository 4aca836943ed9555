// The query layer: first over the real POSIX shim and a temporary tree, then over a scripted shim for the
// branches a POSIX system never takes (other platforms, compressed files, failing calls).
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
  EXPECT_EQ(e.search_path, search_path);
  EXPECT_EQ(e.path_kind, PathKind::Local);
  EXPECT_EQ(e.folder, tree_.root() + "/");
  EXPECT_TRUE(e.found);
  EXPECT_EQ(e.name, ".");
  EXPECT_TRUE(e.is_folder);

  ASSERT_TRUE(FindNextEntry(e));
  EXPECT_EQ(e.name, "..");
  ASSERT_TRUE(FindNextEntry(e));
  EXPECT_EQ(e.name, "file.tar.gz");
  EXPECT_EQ(e.full_path, tree_.Path("file.tar.gz"));
  EXPECT_EQ(e.extension, "gz");
  EXPECT_EQ(e.short_name, "file.tar.gz");  // no 8.3 name: the name itself on the NT family
  EXPECT_TRUE(e.is_file);
  EXPECT_FALSE(e.is_folder);
  EXPECT_EQ(e.size, 5u);
  EXPECT_EQ(e.size_on_disk, 5u);
  ASSERT_TRUE(FindNextEntry(e));
  EXPECT_EQ(e.name, "Sub");
  EXPECT_EQ(e.size, 0u);
  EXPECT_EQ(e.extension, "");

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
  e.folder = "kept";
  e.error = true;
  EXPECT_EQ(FindFirstEntry("FTP://host/dir/*", e), 0u);
  EXPECT_EQ(e.path_kind, PathKind::Ftp);
  EXPECT_FALSE(e.found);
  EXPECT_FALSE(e.error);
  EXPECT_EQ(e.folder, "kept");
}

TEST_F(FileQueriesTest, FiveBillionByteFile) {
  tree_.SparseFile("big.pst", 5'000'000'000ULL);
  FileEntry e;
  const uint32_t h = FindFirstEntry(tree_.Path("big.pst"), e);
  ASSERT_NE(h, kInvalidHandle);
  CloseFind(e);
  EXPECT_EQ(e.size, 5'000'000'000ULL);
  EXPECT_EQ(e.size_on_disk, 5'000'000'000ULL);
}

TEST_F(FileQueriesTest, TimesAreUtcDatesToWholeSeconds) {
  const std::string p = tree_.File("dated.eml");
  const timespec times[2] = {{946'728'000, 0}, {946'728'030, 750'000'000}};  // 2000-01-01 12:00:00 / :30.75
  ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
  FileEntry e;
  ASSERT_NE(FindFirstEntry(p, e), kInvalidHandle);
  CloseFind(e);
  EXPECT_FALSE(e.last_written.conversion_failed);
  EXPECT_DOUBLE_EQ(e.last_written.date_time, 36526.0 + (12 * 3600 + 30) / 86400.0);
  EXPECT_EQ(e.last_written.raw, 116'444'736'000'000'000ULL + 9'467'280'307'500'000ULL);
  EXPECT_DOUBLE_EQ(e.last_accessed.date_time, 36526.5);
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
    k.exports = {c.loaded, c.ex_w, c.ex_a, true, true};
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

TEST_F(ScriptedQueriesTest, ShortNameWithoutAnAlternateName) {
  kernel_.listing = std::vector<FindData>{File("Long Name.eml")};
  FileEntry e;
  FindFirstEntry("/x/*", e);
  EXPECT_EQ(e.short_name, "Long Name.eml");  // NT family: the name itself

  kernel_.version_ex_w = 1;  // Windows 9x, GetShortPathNameA exported: stays empty
  ResetFileQueries(&kernel_);
  FindFirstEntry("/x/*", e);
  EXPECT_EQ(e.short_name, "");

  kernel_.exports.get_short_path_name_a = false;  // not exported: the name itself
  ResetFileQueries(&kernel_);
  FindFirstEntry("/x/*", e);
  EXPECT_EQ(e.short_name, "Long Name.eml");

  FindData with_short = File("Long Name.eml");
  with_short.alternate_name = std::string("LONGNA~1.EML\0junk", 17);
  kernel_.listing = std::vector<FindData>{with_short};
  FindFirstEntry("/x/*", e);
  EXPECT_EQ(e.short_name, "LONGNA~1.EML");
}

TEST_F(ScriptedQueriesTest, NamesAreCutAtNulAndAnEmptyNameComesFromTheFullPath) {
  kernel_.listing = std::vector<FindData>{File(std::string("a.eml\0garbage", 13)), File("")};
  FileEntry e;
  FindFirstEntry("/mail/*", e);
  EXPECT_EQ(e.name, "a.eml");
  EXPECT_EQ(e.full_path, "/mail/a.eml");
  ASSERT_TRUE(FindNextEntry(e));
  EXPECT_EQ(e.name, "a.eml") << "taken from the previous full path";
}

TEST_F(ScriptedQueriesTest, TimesThatCannotBeConvertedAreFlaggedAndTheRestIsFilled) {
  FindData fd = File("t.eml");
  fd.creation = FileTime::FromValue(0x8000'0000'0000'0000ULL);      // FileTimeToSystemTime refuses
  fd.last_access = FileTime::FromValue(0x7FFF'FFFF'FFFF'FFFFULL);   // year 30828: no date
  fd.last_write = FileTime::FromValue(116'444'736'000'000'000ULL);  // 1970-01-01
  kernel_.listing = std::vector<FindData>{fd};
  FileEntry e;
  FindFirstEntry("/x/*", e);
  EXPECT_TRUE(e.created.conversion_failed);
  EXPECT_EQ(e.created.raw, 0x8000'0000'0000'0000ULL);
  EXPECT_TRUE(e.last_accessed.conversion_failed);
  EXPECT_FALSE(e.last_written.conversion_failed);
  EXPECT_EQ(e.last_written.date_time, 25569.0);
  EXPECT_EQ(e.size, 100u);
}

TEST_F(ScriptedQueriesTest, CompressedFilesAskForTheirSizeOnDisk) {
  FindData fd = File("c.eml", kAttributeCompressed);
  fd.size_high = 1;
  kernel_.listing = std::vector<FindData>{fd};
  kernel_.compressed = {{.low = 4096, .high = 0, .error = 0}};
  FileEntry e;
  FindFirstEntry("/x/*", e);
  EXPECT_EQ(e.size, 4'294'967'396ULL);
  EXPECT_EQ(e.size_on_disk, 4096u);
  EXPECT_EQ(kernel_.compressed_widths, std::vector<CallWidth>{CallWidth::kWide});
}

TEST_F(ScriptedQueriesTest, Error120SwitchesTheWideSizeCallOffForGood) {
  kernel_.listing = std::vector<FindData>{File("c.eml", kAttributeCompressed)};
  kernel_.compressed = {{.low = 0xFFFF'FFFF, .high = 0, .error = kErrorCallNotImplemented},
                        {.low = 60, .high = 0, .error = 0},
                        {.low = 70, .high = 0, .error = 0}};
  FileEntry e;
  FindFirstEntry("/x/*", e);
  EXPECT_EQ(e.size_on_disk, 60u);
  FindFirstEntry("/x/*", e);
  EXPECT_EQ(e.size_on_disk, 70u);
  EXPECT_EQ(kernel_.compressed_widths,
            (std::vector<CallWidth>{CallWidth::kWide, CallWidth::kAnsi, CallWidth::kAnsi}));
}

TEST_F(ScriptedQueriesTest, AFailingSizeCallKeepsTheSize) {
  kernel_.listing = std::vector<FindData>{File("c.eml", kAttributeCompressed)};
  kernel_.compressed = {{.low = 0xFFFF'FFFF, .high = 0, .error = kErrorAccessDenied},
                        {.low = 0xFFFF'FFFF, .high = 0, .error = 0}};  // all bits, no error: a real size
  FileEntry e;
  FindFirstEntry("/x/*", e);
  EXPECT_EQ(e.size_on_disk, 100u);
  FindFirstEntry("/x/*", e);
  EXPECT_EQ(e.size_on_disk, 0xFFFF'FFFFu);

  kernel_.version_ex_w = 1;  // ANSI only
  kernel_.exports.get_compressed_file_size_a = false;
  ResetFileQueries(&kernel_);
  FindFirstEntry("/x/*", e);
  EXPECT_EQ(e.size_on_disk, 100u) << "no call to make: the size stays";
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
