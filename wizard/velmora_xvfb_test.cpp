// The velmora program on a virtual display (its test build velmora-walked, which also saves screenshots),
// walked with keyboard input (xdotool) through a single-mailbox conversion; the .pst it writes must be
// readable by the independent readers. Screenshots of every window land in the test's output folder
// (velmora-xvfb/ in the folder ctest runs the test in).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fsutil/testing/linux_only.h"
#include "tests/support/support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

bool Installed(const std::string& program) {
  std::string output;
  return testing::RunCommand("command -v " + program, &output) == 0;
}

void WriteMessage(const fs::path& path, int n) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << "From: Alice Example <alice@example.com>\r\n"
                                           "To: Bob Example <bob@example.org>\r\n"
                                           "Subject: Walked message "
                                        << n
                                        << "\r\n"
                                           "Date: Tue, 2 Jan 2024 09:00:00 +0000\r\n"
                                           "Content-Type: text/plain; charset=utf-8\r\n\r\n"
                                           "Body "
                                        << n << "\r\n";
}

TEST(VelmoraUnderXvfb, KeyboardWalkConvertsASingleMailbox) {
  VELMORA_LINUX_ONLY("xvfb-run and xdotool drive the program from a POSIX shell");
  if (!Installed("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  if (!Installed("xdotool")) GTEST_SKIP() << "xdotool is not installed";

  testing::TempDir dir;
  const fs::path mailbox = dir.path() / "export" / "Mailbox";
  for (int i = 1; i <= 3; ++i) WriteMessage(mailbox / "Inbox" / (std::to_string(i) + ".eml"), i);
  WriteMessage(mailbox / "Sent" / "1.eml", 4);
  const fs::path pst = dir.path() / "Mailbox.pst";
  const fs::path shots = fs::current_path() / "velmora-xvfb";
  fs::remove_all(shots);
  fs::create_directories(shots);

  // xvfb-run -a takes the first display number without a lock file from -n on; two walks that ctest starts
  // together would both take the same one, so each starts its search at its own number.
  const std::string command = "timeout 120 xvfb-run -a -n 90 -s '-screen 0 1280x1024x24' bash " +
                              testing::ShellQuote(VELMORA_SOURCE_DIR "/wizard/xvfb_walk.sh") + " " +
                              testing::ShellQuote(VELMORA_BINARY) + " " +
                              testing::ShellQuote(mailbox.string()) + " " +
                              testing::ShellQuote(pst.string()) + " " + testing::ShellQuote(shots.string());
  std::string output;
  const int status = testing::RunCommand(command, &output);
  ASSERT_EQ(status, 0) << output;

  ASSERT_TRUE(fs::exists(pst));
  const auto check =
      testing::CheckWithReaders(pst.string(), testing::ExpectedTree{{"Inbox", 3}, {"Sent Items", 1}});
  for (const char* window : {"frmFirst", "frmStart", "frmSingle", "frmMigateAll"}) {
    EXPECT_TRUE(fs::exists(shots / (std::string(window) + ".png"))) << window;
  }
  if (!check.available) GTEST_SKIP() << "the independent PST readers are not installed";
  EXPECT_TRUE(check.ok) << check.output;
}

// The multiple-mailbox walk; afterwards the status window covers nothing of the page (its list and its
// output folder box stay clickable).
TEST(VelmoraUnderXvfb, KeyboardWalkConvertsEveryMailboxAndClearsThePage) {
  VELMORA_LINUX_ONLY("xvfb-run and xdotool drive the program from a POSIX shell");
  if (!Installed("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  if (!Installed("xdotool")) GTEST_SKIP() << "xdotool is not installed";

  testing::TempDir dir;
  for (const char* name : {"anna", "bert"}) {
    WriteMessage(dir.path() / "export" / name / "Inbox" / "1.eml", 1);
  }
  fs::create_directories(dir.path() / "out");
  const fs::path shots = fs::current_path() / "velmora-xvfb-multiple";
  fs::remove_all(shots);
  fs::create_directories(shots);
  const std::string command = "timeout 120 xvfb-run -a -n 95 -s '-screen 0 1280x1024x24' bash " +
                              testing::ShellQuote(VELMORA_SOURCE_DIR "/wizard/xvfb_walk.sh") + " " +
                              testing::ShellQuote(VELMORA_BINARY) + " " +
                              testing::ShellQuote((dir.path() / "export").string()) + " " +
                              testing::ShellQuote((dir.path() / "out").string()) + " " +
                              testing::ShellQuote(shots.string()) + " multiple";
  std::string output;
  // 25: the status window covers part of the page.
  ASSERT_EQ(testing::RunCommand(command, &output), 0) << output;
  EXPECT_TRUE(fs::exists(dir.path() / "out" / "anna.pst"));
  EXPECT_TRUE(fs::exists(dir.path() / "out" / "bert.pst"));
}

}  // namespace
}  // namespace velmora
