// The conversion driver with the recording host: the order of mailboxes, the count and caption texts, the row
// marks, the completion messages and the final button states.
#include "engine/conversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/testing/recording_host.h"
#include "fsutil/platform_shim.h"
#include "tests/support/support.h"

namespace velmora::engine {
namespace {

namespace fs = std::filesystem;
using testing::RecordingHost;
using velmora::testing::TempDir;

void WriteEml(const fs::path& p) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << "From: a@example.com\r\nSubject: s\r\n\r\nx\r\n";
}

class DriverTest : public ::testing::Test {
 protected:
  DriverTest() : conversion_(host_, run_, [] { return std::tm{}; }) {
    fs::create_directories(out());
    host_.output_folder = out().string();
  }
  fs::path top() const { return dir_.path() / "export"; }
  fs::path out() const { return dir_.path() / "out"; }
  // Five mailboxes m1..m5 with one message each; `ticked` lists the positions to convert.
  void FiveRows(std::vector<int> ticked) {
    host_.mode = RunMode::kMailboxList;
    for (int i = 1; i <= 5; ++i) {
      std::string name = "m" + std::to_string(i);
      WriteEml(top() / name / "Inbox" / "a.eml");
      bool t = std::find(ticked.begin(), ticked.end(), i) != ticked.end();
      host_.mailboxes.push_back({t, name, (top() / name).string()});
    }
  }
  std::vector<std::string> RowLines() const {
    std::vector<std::string> out;
    for (const auto& l : host_.lines)
      if (l.rfind("Mailbox", 0) == 0) out.push_back(l);
    return out;
  }

  TempDir dir_;
  RecordingHost host_;
  RunState run_;
  Conversion conversion_;
};

TEST_F(DriverTest, NoTickedRowShowsTheCompletionAtOnce) {
  FiveRows({});
  conversion_.Run();
  EXPECT_TRUE(RowLines().empty());
  EXPECT_TRUE(host_.LinesStartingWith("CountLine=").empty()) << "no scan ran";
  EXPECT_EQ(
      host_.LinesStartingWith("Message[Completed]"),
      std::vector<std::string>{"Message[Completed]=Nothing to convert: no message files (.eml) were found."});
  EXPECT_TRUE(fs::is_empty(out()));
}

TEST_F(DriverTest, TickedRowsInOrderWithTheirCaptionsAndMarks) {
  FiveRows({2, 4});
  conversion_.Run();
  EXPECT_EQ(RowLines(), (std::vector<std::string>{"Mailbox1.Taken", "Mailbox3.Taken"}));
  EXPECT_EQ(host_.LinesStartingWith("Title="),
            (std::vector<std::string>{"Title=Converting 2 of 5 Folders", "Title=Converting 4 of 5 Folders"}));
  auto counts = host_.LinesStartingWith("CountLine=Converting");
  ASSERT_EQ(counts.size(), 2u);
  EXPECT_EQ(counts[0], "CountLine=Converting 1 items from " + (top() / "m2").string());
  EXPECT_TRUE(fs::exists(out() / "m2.pst"));
  EXPECT_TRUE(fs::exists(out() / "m4.pst"));
  EXPECT_FALSE(fs::exists(out() / "m1.pst"));
  // After the run: Skip disabled, Stop disabled and hidden, the completion shown once.
  const std::vector<std::string> tail(host_.lines.end() - 3, host_.lines.end());
  EXPECT_EQ(tail,
            (std::vector<std::string>{"Skip.Enabled=false", "Stop.Enabled=false", "Stop.Visible=false"}));
}

TEST_F(DriverTest, MailboxWithoutFilesIsMarkedButGetsNoStore) {
  host_.mode = RunMode::kMailboxList;
  fs::create_directories(top() / "empty" / "Inbox");
  WriteEml(top() / "full" / "a.eml");
  host_.mailboxes = {{true, "empty", (top() / "empty").string()}, {true, "full", (top() / "full").string()}};
  conversion_.Run();
  EXPECT_EQ(RowLines(), (std::vector<std::string>{"Mailbox0.Taken", "Mailbox1.Taken"}));
  EXPECT_EQ(host_.LinesStartingWith("CountLine=Converting 0 items from " + (top() / "empty").string()).size(),
            1u);
  EXPECT_FALSE(fs::exists(out() / "empty.pst"));
  EXPECT_TRUE(fs::exists(out() / "full.pst"));
}

TEST_F(DriverTest, StopLeavesLaterRowsUnmarkedAndClosesThePage) {
  FiveRows({1, 2, 3});
  host_.confirm_answers = {true};
  host_.on_yield = [&](int64_t) {
    if (!host_.LinesStartingWith("CurrentFile=Converting Messages").empty() &&
        host_.LinesStartingWith("ConfirmStop").empty())
      run_.StopRequested = true;
  };
  conversion_.Run();
  EXPECT_EQ(RowLines(), (std::vector<std::string>{"Mailbox0.Taken"}));
  EXPECT_TRUE(run_.StopRequested);
  EXPECT_GE(host_.request_page_closes, 2) << "closed by the stop and again after the completion message";
  const auto done = host_.LinesStartingWith(
      "Message[Completed]=Conversion stopped.\r\n1 message(s) converted, 0 "
      "not converted, 0 not reached, 2 mailbox(es) not reached.\r\nOpen");
  EXPECT_EQ(done.size(), 1u) << "shown after a stop too, and saying so: " << host_.lines.back();
}

TEST_F(DriverTest, SingleModeCountLineHasTheTrailingSeparator) {
  host_.mode = RunMode::kSingleMailbox;
  const fs::path inbox = top() / "Inbox";
  for (int i = 0; i < 12; ++i) WriteEml(inbox / ("m" + std::to_string(i) + ".eml"));
  host_.source_folder = inbox.string();
  host_.save_path_answers.push_back((out() / "single.pst").string());
  conversion_.Run();
  EXPECT_EQ(host_.LinesStartingWith("CountLine=Migrating").at(0),
            "CountLine=Migrating 12 items from " + inbox.string() + fsutil::kPathSeparator);
  auto dialog = host_.LinesStartingWith("ChooseSavePath=");
  ASSERT_EQ(dialog.size(), 1u);
  EXPECT_NE(dialog[0].find("=Inbox"), std::string::npos) << "the mailbox got the name Inbox: " << dialog[0];
  EXPECT_EQ(conversion_.outcomes().at(0).source, inbox.string());
  EXPECT_EQ(conversion_.outcomes().at(0).converted, 12);
  EXPECT_EQ(
      host_
          .LinesStartingWith("Message[Completed]=Messages Converted "
                             "Successfully.\r\nOpen Converted Outlook Data file in Microsoft Outlook to View "
                             "Converted Messages.")
          .size(),
      1u);
}

TEST_F(DriverTest, AStoreThatDoesNotOpenListsEveryQueuedMessageAsNotConverted) {
  host_.mode = RunMode::kMailboxList;
  const fs::path box = top() / "m1";
  WriteEml(box / "Inbox" / "a.eml");
  WriteEml(box / "Inbox" / "b.eml");
  std::ofstream(box / "Inbox" / "notes.txt") << "x";
  host_.mailboxes.push_back({true, "m1", box.string()});
  std::ofstream(out() / "m1.pst") << "not a store";
  conversion_.Run();
  const MailboxOutcome& o = conversion_.outcomes().at(0);
  ASSERT_FALSE(o.store_error.empty());
  std::vector<std::string> paths;
  for (const FileFailure& f : o.not_converted) {
    paths.push_back(fs::path(f.path).filename().string());
    EXPECT_EQ(f.reason, o.store_error);
  }
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{"a.eml", "b.eml"}));
  EXPECT_EQ(o.other_files, 1);
  EXPECT_EQ(o.converted, 0);
  EXPECT_EQ(host_.LinesStartingWith("Message[Completed]").at(0),
            "Message[Completed]=Nothing was converted: the Outlook data file could not be opened.\r\n0 "
            "message(s) converted, 2 not converted, 0 not reached.");
}

TEST_F(DriverTest, AMailboxWithoutMessageFilesGetsNoStore) {
  host_.mode = RunMode::kSingleMailbox;
  fs::create_directories(top());
  std::ofstream(top() / "readme.txt") << "not a message";
  host_.source_folder = top().string();
  conversion_.Run();
  EXPECT_TRUE(host_.LinesStartingWith("ChooseSavePath").empty()) << "nothing to save, so nothing asked";
  EXPECT_EQ(host_.LinesStartingWith("Message[Completed]").at(0),
            "Message[Completed]=Nothing to convert: no message files (.eml) were found.");
  EXPECT_EQ(conversion_.outcomes().at(0).other_files, 1);
}

TEST_F(DriverTest, ResumeAsksOnceWhenTheFileHoldsThisSourcesMessages) {
  host_.mode = RunMode::kMailboxList;
  for (const char* name : {"m1", "m2"}) {
    WriteEml(top() / name / "Inbox" / "a.eml");
    host_.mailboxes.push_back({true, name, (top() / name).string()});
  }
  conversion_.set_resume(Conversion::ResumeMode::kAsk);
  conversion_.Run();  // new files: nothing to ask
  EXPECT_TRUE(host_.LinesStartingWith("ConfirmResume").empty());
  host_.confirm_answers = {true};
  conversion_.Run();  // both files hold their mailbox's message: one question, one answer for the run
  EXPECT_EQ(host_.LinesStartingWith("ConfirmResume"),
            std::vector<std::string>{"ConfirmResume=" + (out() / "m1.pst").string() + " -> Yes"});
  for (const auto& o : conversion_.outcomes()) {
    EXPECT_EQ(o.already_present.size(), 1u) << o.name;
    EXPECT_EQ(o.converted, 0) << o.name;
  }
  host_.confirm_answers = {false};
  conversion_.Run();  // No: every message is added again
  EXPECT_EQ(conversion_.outcomes().at(0).converted, 1);
  EXPECT_EQ(conversion_.outcomes().at(1).converted, 1);
}

TEST_F(DriverTest, SingleModePathEndingInSeparatorGivesAnEmptyName) {
  host_.mode = RunMode::kSingleMailbox;
  WriteEml(top() / "Box" / "a.eml");
  host_.source_folder = (top() / "Box").string() + fsutil::kPathSeparator;
  host_.save_path_answers.push_back(std::nullopt);
  conversion_.Run();
  auto dialog = host_.LinesStartingWith("ChooseSavePath=");
  ASSERT_EQ(dialog.size(), 1u);
  EXPECT_NE(dialog[0].find("=0.1.00 0.0.00.pst"), std::string::npos) << dialog[0];
  EXPECT_EQ(run_.PstFilePath, "");
}

}  // namespace
}  // namespace velmora::engine
