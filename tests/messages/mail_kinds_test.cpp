// Meeting requests, TNEF-wrapped mail and delivery / read reports of our own making, stored as the engine
// stores them and read back by the independent readers: each keeps its kind and what a user sees of it
// (mail_kinds.py holds the expectations).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "rdo/rdo_mail.h"
#include "tests/messages/message_files.h"
#include "tests/support/support.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

void ExpectKindsKept(const std::string& kind) {
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(fs::path(SourceDir()) / "tests" / "messages" / kind))
    if (e.path().extension() == ".eml") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 3u);
  TempDir dir;
  const std::string pst = dir.str() + "/" + kind + ".pst";
  {
    rdo::RDOSession session;
    auto store = session.LogonPstStore(pst, 1, "Kinds");
    auto folder = store->IPMRootFolder()->Folders()->Add("Imported");
    for (const auto& f : files) ASSERT_TRUE(ImportAsTheEngineDoes(*folder, f)) << f;
    session.Logoff();
  }
  // For looking at a file by hand: VELMORA_MESSAGES_KEEP=folder keeps a copy.
  if (const char* keep = std::getenv("VELMORA_MESSAGES_KEEP"); keep && *keep)
    fs::copy_file(pst, fs::path(keep) / fs::path(pst).filename(), fs::copy_options::overwrite_existing);
  ReaderCheck readers = CheckWithReaders(pst, ExpectedTree{{"Imported", static_cast<int>(files.size())}});
  if (!readers.available) GTEST_SKIP() << readers.output;
  EXPECT_TRUE(readers.ok) << readers.output;
  EXPECT_EQ(StrictReaderProblems(pst), "");
  std::string manifest = dir.str() + "/manifest.json";
  {
    std::ofstream out(manifest);
    out << "{\"folder\": \"Imported\", \"files\": [";
    for (size_t i = 0; i < files.size(); ++i) out << (i ? ", " : "") << JsonString(files[i]);
    out << "]}\n";
  }
  std::string output;
  int status = RunCommand("/usr/bin/python3 " + ShellQuote(SourceDir() + "/tests/messages/mail_kinds.py") +
                              " " + ShellQuote(manifest) + " " + ShellQuote(pst),
                          &output);
  if (status == 77) GTEST_SKIP() << output;
  EXPECT_EQ(status, 0) << output;
}

// Invitations as three calendar programs send them: meeting requests with their time and place.
TEST(MailKindsTest, InvitationsShowAsMeetingRequests) {
  ExpectKindsKept("meetings");
}

// winmail.dat of our own making: the files it wraps and its RTF body come out; a broken one stays a file.
TEST(MailKindsTest, TnefWrappedFilesComeOut) {
  ExpectKindsKept("tnef");
}

// Delivery and read reports: their report class and, for delivery reports, each recipient's status.
TEST(MailKindsTest, ReportsKeepTheirKind) {
  ExpectKindsKept("reports");
}

}  // namespace
}  // namespace velmora::testing
