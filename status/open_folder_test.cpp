#include "status/open_folder.h"

#include <gtest/gtest.h>

namespace velmora::status {
namespace {

TEST(OpenFolderTarget, SingleModeOpensTheFolderOfTheLastPst) {
  EXPECT_EQ(OpenFolderTarget(true, "/home/u/out/Mailbox.pst", "/ignored"), "/home/u/out/");
  // A .pst at the root of the file system: the root itself.
  EXPECT_EQ(OpenFolderTarget(true, "/Mailbox.pst", ""), "/");
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
