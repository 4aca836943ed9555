#include "wizard/folder_rows.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/path_helpers.h"
#include "tests/support/support.h"

namespace velmora::wizard {
namespace {

namespace fs = std::filesystem;

TEST(RowBackColour, AlternatesStartingWithTheFirstColour) {
  EXPECT_EQ(RowBackColour(0, 0xFFFFFF, 0xC0FFFF), 0xFFFFFFu);
  EXPECT_EQ(RowBackColour(1, 0xFFFFFF, 0xC0FFFF), 0xC0FFFFu);
  EXPECT_EQ(RowBackColour(2, 0xFFFFFF, 0xC0FFFF), 0xFFFFFFu);
  EXPECT_EQ(RowBackColour(7, 0xFFFFFF, 0xC0FFFF), 0xC0FFFFu);
}

TEST(TopFolderPath, AppendsTheSeparatorOnlyWhenMissing) {
  const std::string sep(1, engine::kPathSeparator);
  const std::string top = sep + "home" + sep + "u" + sep + "Export";
  EXPECT_EQ(TopFolderPath(top), top + sep);
  EXPECT_EQ(TopFolderPath(top + sep), top + sep);
  // The root: sub-folder paths get a single separator after it.
  EXPECT_EQ(TopFolderPath(sep), sep);
}

TEST(ListSubFolders, DirectSubFoldersOnlyInCaseInsensitiveOrder) {
  velmora::testing::TempDir dir;
  for (const char* name : {"bob", "Alice", "carol", ".hidden", "Alice/Inbox"})
    fs::create_directories(dir.path() / name);
  std::ofstream(dir.path() / "a-file.eml") << "x";
  std::vector<std::string> expected{".hidden", "Alice", "bob", "carol"};
#ifndef _WIN32  // a link to a folder counts as a folder; on Windows making links needs a privilege
  fs::create_directory_symlink(dir.path() / "carol", dir.path() / "Dave");
  expected.push_back("Dave");
#endif

  const SubFolderListing listing = ListSubFolders(TopFolderPath(dir.str()));
  ASSERT_TRUE(listing.ok) << listing.error;
  EXPECT_EQ(listing.names, expected);
}

TEST(ListSubFolders, AFolderThatCannotBeListedSaysWhy) {
  velmora::testing::TempDir dir;
  const SubFolderListing missing = ListSubFolders((dir.path() / "gone/").string());
  EXPECT_FALSE(missing.ok);
  EXPECT_FALSE(missing.error.empty());
  EXPECT_TRUE(missing.names.empty());

  std::ofstream(dir.path() / "plain") << "x";  // a file, not a folder
  EXPECT_FALSE(ListSubFolders((dir.path() / "plain").string()).ok);
}

TEST(ListSubFolders, AnEmptyTopFolderIsListedAsEmpty) {
  velmora::testing::TempDir dir;
  const SubFolderListing listing = ListSubFolders(dir.str());
  EXPECT_TRUE(listing.ok);
  EXPECT_TRUE(listing.names.empty());
}

}  // namespace
}  // namespace velmora::wizard
