#include "status/open_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/path_helpers.h"

namespace velmora::status {
namespace {

// A path written with "/" in the system's own form.
std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '/', engine::kPathSeparator);
  return path;
}

TEST(OpenFolderTarget, SingleModeOpensTheFolderOfTheLastPst) {
  EXPECT_EQ(OpenFolderTarget(true, Native("/home/u/out/Mailbox.pst"), "/ignored"), Native("/home/u/out/"));
  // A .pst at the root of the file system: the root itself.
  EXPECT_EQ(OpenFolderTarget(true, Native("/Mailbox.pst"), ""), Native("/"));
}

TEST(OpenFolderTarget, SingleModeWithoutPstOpensNothing) {
  // A cancelled save dialog leaves the path empty while the button stays enabled.
  EXPECT_EQ(OpenFolderTarget(true, "", "/home/u/Desktop"), "");
}

TEST(OpenFolderTarget, MultipleModeOpensTheOutputTextUntrimmed) {
  EXPECT_EQ(OpenFolderTarget(false, "/home/u/out/Mailbox.pst", "  /home/u/Desktop "), "  /home/u/Desktop ");
  EXPECT_EQ(OpenFolderTarget(false, "/home/u/out/Mailbox.pst", ""), "");
}

}  // namespace
}  // namespace velmora::status
