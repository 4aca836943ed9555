#include "fsutil/existence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fsutil/file_queries.h"
#include "fsutil/sorted_listing.h"
#include "fsutil/testing/linux_only.h"
#include "fsutil/testing/temp_tree.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

using testing::RunningAsRoot;
using testing::TempTree;

TEST(AddBackslash, TrimsBlanksAndEndsInOneSeparator) {
  EXPECT_EQ(AddBackslash(R"(C:\Mail)", '\\'), R"(C:\Mail\)");
  EXPECT_EQ(AddBackslash(R"(C:\Mail\)", '\\'), R"(C:\Mail\)");
  EXPECT_EQ(AddBackslash("", '\\'), "\\");
  EXPECT_EQ(AddBackslash("   ", '\\'), "\\");
  EXPECT_EQ(AddBackslash(R"(  C:\Mail  )", '\\'), R"(C:\Mail\)");
  EXPECT_EQ(AddBackslash("/tmp/mail", '/'), "/tmp/mail/");
  EXPECT_EQ(AddBackslash("/", '/'), "/");
}

class ExistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = tree_.Folder("Mail");
    file_ = tree_.File("Mail/a.eml");
    empty_ = tree_.Folder("Empty");
  }

  TempTree tree_;
  std::string folder_, file_, empty_;
};

TEST_F(ExistenceTest, FolderExistsTable) {
  EXPECT_TRUE(FolderExists(folder_));
  EXPECT_TRUE(FolderExists(folder_ + "/"));
  EXPECT_TRUE(FolderExists(empty_));
  EXPECT_TRUE(FolderExists(folder_ + "  "));  // the raw query fails, the trimmed search finds it
  EXPECT_TRUE(FolderExists("  " + folder_));
  EXPECT_FALSE(FolderExists(file_));
  EXPECT_FALSE(FolderExists(tree_.Path("missing")));
  EXPECT_FALSE(FolderExists(""));
  EXPECT_FALSE(FolderExists("   "));
  EXPECT_TRUE(FolderExists("/"));
}

TEST_F(ExistenceTest, FolderExistsFollowsLinksAndIgnoresPermissionBits) {
  VELMORA_LINUX_ONLY("symbolic links and permission bits");
  tree_.Symlink("link", folder_);
  tree_.Folder("ro");
  tree_.Chmod("ro", 0555);
  EXPECT_TRUE(FolderExists(tree_.Path("link")));
  EXPECT_TRUE(FolderExists(tree_.Path("ro")));
}

TEST_F(ExistenceTest, AFolderBehindAClosedParentCannotBeSeen) {
  if (RunningAsRoot()) GTEST_SKIP() << "running as root: permission bits deny nothing";
  VELMORA_LINUX_ONLY("permission bits");
  tree_.Folder("closed");
  tree_.Folder("closed/inner");
  tree_.Chmod("closed", 0600);
  EXPECT_FALSE(FolderExists(tree_.Path("closed/inner")));
}

TEST_F(ExistenceTest, FileExistsTable) {
  EXPECT_TRUE(FileExists(file_));
  EXPECT_FALSE(FileExists(folder_));  // the search finds the folder's own entry
  EXPECT_FALSE(FileExists(tree_.Path("missing.eml")));
  EXPECT_FALSE(FileExists(tree_.Path("missing/a.eml")));
  EXPECT_TRUE(FileExists(tree_.Path("Mail/A.EML")));  // found by the search, as on NTFS
}

TEST_F(ExistenceTest, NulInsideAFolderIsAnOrdinaryName) {
  VELMORA_LINUX_ONLY("on Windows \"nul\" is the null device in every folder");
  tree_.File("Mail/nul");
  EXPECT_TRUE(FileExists(folder_ + "/nul"));
  EXPECT_FALSE(FileExists(empty_ + "/nul"));
}

// Entries whose attributes cannot be read but which their folder's listing holds.
class UnreadableAttributes final : public Platform {
 public:
  uint32_t Stat(const std::string&, PathStat*) override { return kErrorAccessDenied; }
  uint32_t ReadFolder(const std::string& path, SortedListing& names) override {
    return SystemPlatform().ReadFolder(path, names);
  }
  std::optional<FileId> Identity(const std::string& path) override { return SystemPlatform().Identity(path); }
};

TEST(ExistenceScripted, UnreadableAttributesFallBackToTheListing) {
  TempTree tree;
  const std::string folder = tree.Folder("Mail");
  const std::string file = tree.File("Mail/a.eml");
  UnreadableAttributes platform;
  UsePlatform(&platform);
  EXPECT_TRUE(FolderExists(folder));  // decided by listing its contents
  EXPECT_TRUE(FileExists(file));      // decided by its folder's listing
  EXPECT_FALSE(FileExists(tree.Path("Mail/b.eml")));
  UsePlatform(nullptr);
}

}  // namespace
}  // namespace velmora::fsutil
