#include "engine/path_helpers.h"

#include <gtest/gtest.h>

#include "engine/errors.h"
#include "fsutil/testing/linux_only.h"

namespace velmora::engine {
namespace {

TEST(PathHelpers, TheWindowsTable) {
  struct Case {
    const char* path;
    const char* file_name;
    const char* parent;
  };
  const Case cases[] = {
      {R"(C:\Export\Inbox\1.eml)", "1.eml", R"(C:\Export\Inbox\)"},
      {R"(C:\Export\Inbox\)", "", R"(C:\Export\Inbox\)"},
      {R"(C:\)", "", R"(C:\)"},
      {"Inbox", "Inbox", ""},
      {"\\", "", "\\"},
      {R"(\\srv\share\a.eml)", "a.eml", R"(\\srv\share\)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathFileName(c.path, '\\'), c.file_name) << c.path;
    EXPECT_EQ(PathParent(c.path, '\\'), c.parent) << c.path;
  }
}

TEST(PathHelpers, FileSystemPathsSplitAtSlash) {
  VELMORA_LINUX_ONLY("POSIX paths (\"/\" separators)");
  EXPECT_EQ(PathFileName("/export/Inbox/1.eml"), "1.eml");
  EXPECT_EQ(PathParent("/export/Inbox/1.eml"), "/export/Inbox/");
  EXPECT_EQ(PathParent("/export/Inbox/"), "/export/Inbox/");
  EXPECT_EQ(PathParent("/"), "/");
  EXPECT_EQ(PathFileName(R"(/export/a\b.eml)"), R"(a\b.eml)");  // "\" is part of a POSIX name
  EXPECT_EQ(PathFileName("/M\xC3\xBCll/\xFF.eml"), "\xFF.eml");
}

TEST(PathHelpers, AnEmptyPathIsAnError) {
  for (auto* fn : {&PathFileName, &PathParent}) {
    try {
      fn("", '/');
      FAIL() << "expected Error 9";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrSubscriptOutOfRange);
      EXPECT_EQ(e.description(), "Subscript out of range");
    }
  }
}

}  // namespace
}  // namespace velmora::engine
