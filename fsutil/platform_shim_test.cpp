// The POSIX shim against a real temporary tree: attribute words, Win32 error codes, search order and sizes.
#include "fsutil/platform_shim.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "fsutil/testing/temp_tree.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

using testing::RunningAsRoot;
using testing::TempTree;

constexpr CallWidth kWide = CallWidth::kWide;

// Every name a search delivers, in order; the search is closed afterwards.
std::vector<std::string> Names(const std::string& search_path, uint32_t* error = nullptr) {
  Kernel& k = SystemKernel();
  std::vector<std::string> names;
  FindData fd;
  const uint32_t h = k.FindFirstFile(kWide, search_path, &fd);
  if (h == kInvalidHandle) {
    if (error) *error = k.GetLastError();
    return names;
  }
  do {
    names.push_back(fd.file_name);
  } while (k.FindNextFile(kWide, h, &fd));
  if (error) *error = k.GetLastError();
  k.FindClose(h);
  return names;
}

class PlatformShimTest : public ::testing::Test {
 protected:
  TempTree tree_;
  Kernel& k_ = SystemKernel();
};

TEST_F(PlatformShimTest, AttributeWordOfFoldersFilesHiddenAndReadOnlyEntries) {
  tree_.Folder("Inbox");
  tree_.File("a.eml");
  tree_.File(".hidden");
  tree_.File("locked.eml");
  tree_.Chmod("locked.eml", 0444);
  tree_.Folder(".Trash");
  tree_.Chmod(".Trash", 0555);

  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path("Inbox")), kAttributeDirectory);
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path("Inbox/")), kAttributeDirectory);
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path("a.eml")), kAttributeNormal);
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path(".hidden")), kAttributeHidden);
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path("locked.eml")), kAttributeReadOnly);
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path(".Trash")),
            kAttributeDirectory | kAttributeHidden | kAttributeReadOnly);
}

TEST_F(PlatformShimTest, MissingEntriesGiveFileOrPathNotFound) {
  tree_.File("file.txt");
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path("missing.eml")), kInvalidAttributes);
  EXPECT_EQ(k_.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path("nofolder/missing.eml")), kInvalidAttributes);
  EXPECT_EQ(k_.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path("file.txt/x")), kInvalidAttributes);
  EXPECT_EQ(k_.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path(std::string(300, 'n'))), kInvalidAttributes);
  EXPECT_EQ(k_.GetLastError(), kErrorFilenameExceedsRange);
}

TEST_F(PlatformShimTest, WideCallsNameNothingRelativeAnsiCallsResolveIt) {
  EXPECT_EQ(k_.GetFileAttributes(kWide, "."), kInvalidAttributes);
  EXPECT_EQ(k_.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(k_.GetFileAttributes(kWide, ""), kInvalidAttributes);
  FindData fd;
  EXPECT_EQ(k_.FindFirstFile(kWide, "*", &fd), kInvalidHandle);
  EXPECT_EQ(k_.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(k_.GetFileAttributes(CallWidth::kAnsi, "."), kAttributeDirectory);
}

TEST_F(PlatformShimTest, AccessDeniedIsFive) {
  if (RunningAsRoot()) GTEST_SKIP() << "running as root: permission bits deny nothing";
  tree_.Folder("closed");
  tree_.File("closed/a.eml");
  tree_.Chmod("closed", 0000);
  EXPECT_EQ(Names(tree_.Path("closed/*")), std::vector<std::string>{});
  EXPECT_EQ(k_.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path("closed/a.eml")), kInvalidAttributes);
  EXPECT_EQ(k_.GetLastError(), kErrorAccessDenied);
}

TEST_F(PlatformShimTest, SearchDeliversDotsFirstThenNtfsOrder) {
  for (const char* n : {"b.eml", "_x", "Z", "a1", "A.eml", "noext"}) tree_.File(n);
  tree_.Folder("Sub");
  const std::vector<std::string> all = {".", "..", "A.eml", "a1", "b.eml", "noext", "Sub", "Z", "_x"};
  EXPECT_EQ(Names(tree_.Path("*")), all);
  EXPECT_EQ(Names(tree_.Path("*.*")), all);
  EXPECT_EQ(Names(tree_.Path("*.EML")), (std::vector<std::string>{"A.eml", "b.eml"}));
  EXPECT_EQ(Names(tree_.Path("?1")), (std::vector<std::string>{"a1"}));
}

TEST_F(PlatformShimTest, SearchEndsWith18AndFailsWith2Or3) {
  tree_.File("only.eml");
  uint32_t error = 0;
  EXPECT_EQ(Names(tree_.Path("*"), &error).size(), 3u);
  EXPECT_EQ(error, kErrorNoMoreFiles);
  EXPECT_TRUE(Names(tree_.Path("*.pst"), &error).empty());
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_TRUE(Names(tree_.Path("missing/*"), &error).empty());
  EXPECT_EQ(error, kErrorPathNotFound);
  EXPECT_TRUE(Names(tree_.Path("only.eml/*"), &error).empty());
  EXPECT_EQ(error, kErrorPathNotFound);
  EXPECT_TRUE(Names(tree_.root() + "/", &error).empty());
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_TRUE(Names(tree_.root() + "/*/x", &error).empty());
  EXPECT_EQ(error, kErrorInvalidName);
}

TEST_F(PlatformShimTest, HandlesAreNeitherZeroNorInvalidAndCloseOnce) {
  tree_.File("a");
  FindData fd;
  const uint32_t h1 = k_.FindFirstFile(kWide, tree_.Path("*"), &fd);
  const uint32_t h2 = k_.FindFirstFile(kWide, tree_.Path("*"), &fd);
  for (uint32_t h : {h1, h2}) {
    EXPECT_NE(h, 0u);
    EXPECT_NE(h, kInvalidHandle);
  }
  EXPECT_NE(h1, h2);
  EXPECT_TRUE(k_.FindClose(h1));
  EXPECT_FALSE(k_.FindClose(h1));
  EXPECT_EQ(k_.GetLastError(), kErrorInvalidHandle);
  EXPECT_FALSE(k_.FindNextFile(kWide, h1, &fd));
  EXPECT_TRUE(k_.FindClose(h2));
}

TEST_F(PlatformShimTest, ALiteralNameFindsItsOwnEntryWithoutRegardToCase) {
  tree_.Folder("Mail");
  FindData fd;
  const uint32_t h = k_.FindFirstFile(kWide, tree_.Path("MAIL"), &fd);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_EQ(fd.file_name, "Mail");
  EXPECT_EQ(fd.attributes, kAttributeDirectory);
  EXPECT_FALSE(k_.FindNextFile(kWide, h, &fd));
  k_.FindClose(h);
}

TEST_F(PlatformShimTest, TheRootFolderHasNoDotEntries) {
  const std::vector<std::string> names = Names("/*");
  ASSERT_FALSE(names.empty());
  EXPECT_NE(names.front(), ".");
}

TEST_F(PlatformShimTest, LargeSparseFileSizeInTwoHalves) {
  const std::string p = tree_.SparseFile("big.bin", 5'000'000'000ULL);
  FindData fd;
  const uint32_t h = k_.FindFirstFile(kWide, p, &fd);
  ASSERT_NE(h, kInvalidHandle);
  k_.FindClose(h);
  EXPECT_EQ(fd.size_high, 1u);
  EXPECT_EQ(fd.size_low, 705'032'704u);
}

TEST_F(PlatformShimTest, LinksToFoldersAreFollowedDanglingLinksReportThemselves) {
  tree_.Folder("real");
  tree_.Symlink("link", tree_.Path("real"));
  tree_.Symlink("dangling", tree_.Path("nowhere"));
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path("link")), kAttributeDirectory);
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path("dangling")), kAttributeNormal);
  EXPECT_EQ(Names(tree_.Path("link/*")), (std::vector<std::string>{".", ".."}));
}

TEST_F(PlatformShimTest, FileIdsTellFoldersApartAndSeeThroughLinks) {
  tree_.Folder("a");
  tree_.Folder("b");
  tree_.Symlink("a/up", tree_.root());
  const auto a = k_.GetFileId(kWide, tree_.Path("a"));
  ASSERT_TRUE(a);
  EXPECT_NE(a, k_.GetFileId(kWide, tree_.Path("b")));
  EXPECT_EQ(a, k_.GetFileId(kWide, tree_.Path("a/up/a/")));
  EXPECT_EQ(k_.GetFileId(kWide, tree_.Path("missing")), std::nullopt);
  EXPECT_EQ(k_.GetFileId(kWide, "relative"), std::nullopt);
}

TEST_F(PlatformShimTest, NamesThatAreNotUtf8AreFoundByTheirBytes) {
  const std::string name = "\xFF\xFEmsg.eml";
  tree_.File(name);
  EXPECT_EQ(Names(tree_.Path("*.eml")), std::vector<std::string>{name});
  EXPECT_EQ(k_.GetFileAttributes(kWide, tree_.Path(name)), kAttributeNormal);
}

TEST(SystemMessages, EnglishTextsWithTheirLineEnd) {
  Kernel& k = SystemKernel();
  EXPECT_EQ(k.FormatMessage(kWide, 2, 256), "The system cannot find the file specified.\r\n");
  EXPECT_EQ(k.FormatMessage(kWide, 3, 256), "The system cannot find the path specified.\r\n");
  EXPECT_EQ(k.FormatMessage(kWide, 5, 256), "Access is denied.\r\n");
  EXPECT_EQ(k.FormatMessage(kWide, 18, 256), "There are no more files.\r\n");
  EXPECT_EQ(k.FormatMessage(kWide, 99'999, 256), std::nullopt);
  EXPECT_EQ(k.FormatMessage(kWide, 5, 10), std::nullopt);  // does not fit the buffer
}

TEST(SystemMessages, ErrnoMapsToWin32Codes) {
  EXPECT_EQ(Win32ErrorFromErrno(ENOENT), kErrorFileNotFound);
  EXPECT_EQ(Win32ErrorFromErrno(ENOTDIR), kErrorPathNotFound);
  EXPECT_EQ(Win32ErrorFromErrno(EACCES), kErrorAccessDenied);
  EXPECT_EQ(Win32ErrorFromErrno(EPERM), kErrorAccessDenied);
  EXPECT_EQ(Win32ErrorFromErrno(ENAMETOOLONG), kErrorFilenameExceedsRange);
  EXPECT_EQ(Win32ErrorFromErrno(ENOSYS), kErrorCallNotImplemented);
  for (int e : {EACCES, ENOENT, ENAMETOOLONG, ELOOP, EIO, ENOSPC, EINVAL, EXDEV}) {
    EXPECT_TRUE(SystemMessage(Win32ErrorFromErrno(e))) << "errno " << e << " maps to a code without a text";
  }
}

}  // namespace
}  // namespace velmora::fsutil
