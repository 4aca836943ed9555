// The file queries over the POSIX platform and a temporary tree: attribute words, Win32 error codes, the order
// and the errors of folder listings, and the texts of the codes.
#include "fsutil/file_queries.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "fsutil/testing/linux_only.h"
#include "fsutil/testing/temp_tree.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

using testing::RunningAsRoot;
using testing::TempTree;
using Names = std::vector<std::string>;

// Every name of a listing, and its error at the end.
Names Listed(const std::string& folder, uint32_t* error = nullptr) {
  FolderListing listing = ListFolder(folder);
  Names names;
  for (std::string name; listing.Next(&name);) names.push_back(name);
  if (error) *error = listing.error();
  return names;
}

class FileQueriesTest : public ::testing::Test {
 protected:
  TempTree tree_;
};

TEST_F(FileQueriesTest, AttributeWordsAndTheCodesOfFailedQueries) {
  VELMORA_LINUX_ONLY("the POSIX shim's attribute words, from permission bits and symbolic links");
  tree_.Folder("Inbox");
  tree_.File("a.eml");
  tree_.File(".hidden");
  tree_.File("locked.eml");
  tree_.Chmod("locked.eml", 0444);
  tree_.Folder(".Trash");
  tree_.Chmod(".Trash", 0555);
  tree_.Symlink("link", tree_.Path("Inbox"));
  tree_.Symlink("dangling", tree_.Path("nowhere"));
  EXPECT_EQ(PathAttributes(tree_.Path("Inbox/")), kAttributeDirectory);
  EXPECT_EQ(PathAttributes(tree_.Path("a.eml")), kAttributeNormal);
  EXPECT_EQ(PathAttributes(tree_.Path(".hidden")), kAttributeHidden);
  EXPECT_EQ(PathAttributes(tree_.Path("locked.eml")), kAttributeReadOnly);
  EXPECT_EQ(PathAttributes(tree_.Path(".Trash")),
            kAttributeDirectory | kAttributeHidden | kAttributeReadOnly);
  EXPECT_EQ(PathAttributes(tree_.Path("link")), kAttributeDirectory);
  EXPECT_EQ(PathAttributes(tree_.Path("dangling")), kAttributeNormal);

  const std::pair<std::string, uint32_t> failures[] = {
      {"missing", kErrorFileNotFound},
      {"missing/x", kErrorPathNotFound},
      {"a.eml/x", kErrorPathNotFound},
      {std::string(300, 'n'), kErrorFilenameExceedsRange},
  };
  for (const auto& [path, code] : failures) {
    uint32_t error = 0;
    EXPECT_EQ(PathAttributes(tree_.Path(path), &error), kInvalidAttributes) << path;
    EXPECT_EQ(error, code) << path;
  }
}

TEST_F(FileQueriesTest, ListingsComeInNtfsOrderWithoutDotsAndTakeNamesLiterally) {
  VELMORA_LINUX_ONLY("names Windows forbids (\"?\", \"*\", bytes that are not UTF-8)");
  for (const char* n : {"b.eml", "_x", "Z", "a1", "A.eml", "noext", "\xFF\xFEmsg.eml"}) tree_.File(n);
  for (const char* n : {"Sub", "q?", "st*r", "[x]"}) tree_.Folder(n);
  uint32_t error = 1;
  EXPECT_EQ(Listed(tree_.root(), &error), (Names{"A.eml", "a1", "b.eml", "noext", "q?", "st*r", "Sub", "Z",
                                                 "[x]", "_x", "\xFF\xFEmsg.eml"}));
  EXPECT_EQ(error, 0u);
  // Folders whose names hold wildcard characters are listed like any other.
  tree_.File("st*r/m.eml");
  EXPECT_EQ(Listed(tree_.Path("st*r")), Names{"m.eml"});
  EXPECT_EQ(Listed(tree_.Path("q?"), &error), Names{});
  EXPECT_EQ(error, 0u);
}

TEST_F(FileQueriesTest, AFolderThatCannotBeListedSaysWhy) {
  tree_.File("file.txt");
  uint32_t error = 0;
  EXPECT_EQ(Listed(tree_.Path("missing"), &error), Names{});
  EXPECT_EQ(error, kErrorPathNotFound);
  Listed(tree_.Path("file.txt"), &error);
  EXPECT_EQ(error, kErrorPathNotFound);
  if (RunningAsRoot()) return;  // permission bits deny root nothing
  VELMORA_LINUX_ONLY("permission bits");
  tree_.Folder("closed");
  tree_.Chmod("closed", 0000);
  Listed(tree_.Path("closed"), &error);
  EXPECT_EQ(error, kErrorAccessDenied);
}

TEST_F(FileQueriesTest, IdentitiesTellFoldersApartAndSeeThroughLinks) {
  VELMORA_LINUX_ONLY("symbolic links");
  tree_.Folder("a");
  tree_.Folder("b");
  tree_.Symlink("a/up", tree_.root());
  const auto a = PathIdentity(tree_.Path("a"));
  ASSERT_TRUE(a);
  EXPECT_NE(a, PathIdentity(tree_.Path("b")));
  EXPECT_EQ(a, PathIdentity(tree_.Path("a/up/a/")));
  EXPECT_EQ(PathIdentity(tree_.Path("missing")), std::nullopt);
}

TEST(SystemErrorText, OneLineWithTheCode) {
  EXPECT_EQ(SystemErrorText(5), "Error 5 - Access is denied.");
  EXPECT_EQ(SystemErrorText(18), "Error 18 - There are no more files.");
  EXPECT_EQ(SystemErrorText(99'999), "Error 99999 - unknown error.");
  EXPECT_EQ(SystemErrorText(-1), "Error -1 - unknown error.");
  EXPECT_EQ(SystemErrorText(0), "Error - File Possibly In Use/Locked");
  EXPECT_EQ(SystemMessage(3), "The system cannot find the path specified.\r\n");
}

TEST(SystemErrorText, ErrnoMapsToWin32Codes) {
  EXPECT_EQ(Win32ErrorFromErrno(ENOENT), kErrorFileNotFound);
  EXPECT_EQ(Win32ErrorFromErrno(ENOTDIR), kErrorPathNotFound);
  EXPECT_EQ(Win32ErrorFromErrno(EPERM), kErrorAccessDenied);
  EXPECT_EQ(Win32ErrorFromErrno(ENAMETOOLONG), kErrorFilenameExceedsRange);
  for (int e : {EACCES, ENOENT, ENAMETOOLONG, ELOOP, EIO, ENOSPC, EINVAL, EXDEV}) {
    EXPECT_TRUE(SystemMessage(Win32ErrorFromErrno(e))) << "errno " << e << " maps to a code without a text";
  }
}

}  // namespace
}  // namespace velmora::fsutil
