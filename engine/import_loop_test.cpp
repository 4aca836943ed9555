// The import loop over real files and a real store, seen through the recording host: which files become
// messages, the progress texts, Skip and Stop with their confirmations.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <map>

#include "engine/conversion.h"
#include "engine/testing/recording_host.h"
#include "fsutil/testing/linux_only.h"
#include "fsutil/testing/temp_tree.h"
#include "pst/messaging/name_to_id_map.h"
#include "pst/tags/prop_tags.h"
#include "rdo/rdo_mail.h"
#include "rdo/rdo_session.h"
#include "tests/support/support.h"

namespace velmora::engine {
namespace {

namespace fs = std::filesystem;
using testing::RecordingHost;
using velmora::testing::CheckWithReaders;
using velmora::testing::TempDir;

void WriteEml(const fs::path& p, const std::string& subject) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << "From: Alice <alice@example.com>\r\nTo: Bob <bob@example.org>\r\nSubject: " << subject
                   << "\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\nMessage-ID: <" << subject
                   << "@velmora.test>\r\n\r\nHello.\r\n";
}

class ImportLoopTest : public ::testing::Test {
 protected:
  ImportLoopTest() : conversion_(host_, run_, [] { return std::tm{}; }) {
    host_.mode = RunMode::kMailboxList;
    host_.output_folder = out().string();
    fs::create_directories(out());
  }
  fs::path box() const { return dir_.path() / "export" / "Box"; }
  fs::path out() const { return dir_.path() / "out"; }
  void AddRow() { host_.mailboxes.push_back({true, "Box", box().string()}); }

  TempDir dir_;
  RecordingHost host_;
  RunState run_;
  Conversion conversion_;
};

TEST_F(ImportLoopTest, ThreeFilesTwoEmlOneTxt) {
  WriteEml(box() / "Inbox" / "a.eml", "first");
  std::ofstream(box() / "Inbox" / "b.txt") << "not mail\n";
  WriteEml(box() / "Inbox" / "C.EML", "upper");
  AddRow();
  conversion_.Run();

  EXPECT_EQ(host_.LinesStartingWith("FrameText="),
            (std::vector<std::string>{"FrameText=Reading Messages & Email Metadata - (1 of 3) File(s)",
                                      "FrameText=Reading Messages & Email Metadata - (2 of 3) File(s)",
                                      "FrameText=Reading Messages & Email Metadata - (3 of 3) File(s)"}));
  EXPECT_EQ(host_.LinesStartingWith("ProgressLine="),
            (std::vector<std::string>{"ProgressLine=33% Complete", "ProgressLine=67% Complete",
                                      "ProgressLine=100% Complete"}));
  ASSERT_EQ(conversion_.outcomes().size(), 1u);
  EXPECT_EQ(conversion_.outcomes()[0].converted, 2);
  EXPECT_TRUE(conversion_.outcomes()[0].not_converted.empty());
  auto check = CheckWithReaders((out() / "Box.pst").string(), {{{"Inbox", 2}}});
  if (!check.available) GTEST_SKIP() << "the independent PST readers are not installed";
  EXPECT_TRUE(check.ok) << check.output;
}

// A message converted with a part kept another way than its kind asks (a calendar that cannot be read stays
// an attachment) is converted, and the run's report says what was kept how.
TEST_F(ImportLoopTest, PartsKeptAnotherWayAreRemarked) {
  fs::create_directories(box());
  std::ofstream(box() / "invite.eml")
      << "From: a@example.com\r\nSubject: Invite\r\n"
         "Content-Type: text/calendar; method=REQUEST\r\n\r\nnot a calendar\r\n";
  WriteEml(box() / "plain.eml", "plain");
  AddRow();
  conversion_.Run();
  const auto& o = conversion_.outcomes().at(0);
  EXPECT_EQ(o.converted, 2);
  ASSERT_EQ(o.remarks.size(), 1u);
  EXPECT_EQ(fs::path(o.remarks[0].path).filename(), "invite.eml");
  EXPECT_NE(o.remarks[0].reason.find("kept as an attachment"), std::string::npos) << o.remarks[0].reason;
}

TEST_F(ImportLoopTest, TwoHundredFilesShowFiftyPercentAfterFile101) {
  fs::create_directories(box());
  // One message file among them (a folder without any gets no store at all).
  for (int i = 0; i < 200; ++i) std::ofstream(box() / ("f" + std::to_string(i) + (i ? ".txt" : ".eml"))) << i;
  AddRow();
  conversion_.Run();
  auto progress = host_.LinesStartingWith("ProgressLine=");
  ASSERT_EQ(progress.size(), 200u);
  EXPECT_EQ(progress[100], "ProgressLine=50% Complete") << "50.5 rounds to the even neighbour";
  EXPECT_EQ(progress[102], "ProgressLine=52% Complete") << "51.5 rounds to the even neighbour";
}

// Every queued file is accounted for exactly once: converted, skipped by rule (directly in Conversations,
// Notebook, Emailed Contacts), not converted with its reason (unreadable, not a regular file) or another
// file.
TEST_F(ImportLoopTest, EveryFileIsAccountedForWithItsReason) {
  VELMORA_LINUX_ONLY("a FIFO and permission bits");
  WriteEml(box() / "Inbox" / "good.eml", "good");
  WriteEml(box() / "Inbox" / "locked.eml", "locked");
  WriteEml(box() / "Notebook" / "page.eml", "page");
  WriteEml(box() / "Conversations" / "thread.eml", "thread");
  WriteEml(box() / "Emailed Contacts" / "card.eml", "card");
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((box() / "Inbox" / "pipe.eml").c_str(), 0644), 0);  // would block a plain open
#endif
  std::ofstream(box() / "notes.txt") << "not mail\n";
  const bool as_root = fsutil::testing::RunningAsRoot();
  if (!as_root) fs::permissions(box() / "Inbox" / "locked.eml", fs::perms::none);
  AddRow();
  conversion_.Run();

  const auto& o = conversion_.outcomes().at(0);
  const int converted = as_root ? 2 : 1;
  EXPECT_EQ(o.converted, converted);
  std::vector<std::string> skipped = o.skipped;
  std::sort(skipped.begin(), skipped.end());
  EXPECT_EQ(skipped, (std::vector<std::string>{(box() / "Conversations" / "thread.eml").string(),
                                               (box() / "Emailed Contacts" / "card.eml").string(),
                                               (box() / "Notebook" / "page.eml").string()}));
  std::map<std::string, std::string> failed;
  for (const auto& f : o.not_converted) failed[fs::path(f.path).filename().string()] = f.reason;
  EXPECT_EQ(failed.size(), as_root ? 1u : 2u);
  EXPECT_NE(failed["pipe.eml"].find("not a regular file"), std::string::npos) << failed["pipe.eml"];
  if (!as_root) {
    EXPECT_NE(failed["locked.eml"].find("Cannot import"), std::string::npos);
  }
  EXPECT_EQ(o.other_files, 1);
  EXPECT_EQ(o.queued,
            o.converted + static_cast<int64_t>(o.skipped.size() + o.not_converted.size()) + o.other_files);

  auto done = host_.LinesStartingWith("Message[Completed");
  ASSERT_EQ(done.size(), 1u);
  EXPECT_NE(
      done[0].find(std::to_string(failed.size()) +
                   " not converted, 0 not reached.\r\nOpen Converted Outlook Data file(s) in Microsoft "
                   "Outlook to View Individual files.\r\n3 message file(s) in Conversations, Notebook or "
                   "Emailed Contacts were skipped."),
      std::string::npos)
      << done[0];
  auto check = CheckWithReaders((out() / "Box.pst").string(), {{{"Inbox", converted}}});
  if (!check.available) GTEST_SKIP() << "the independent PST readers are not installed";
  EXPECT_TRUE(check.ok) << check.output;
}

// A file written by an older version knows its messages' source files by name and size only: on resume such a
// message stands for the file of that name, size and Message-ID, never for another file sharing the
// Message-ID; a message with no source-file name (another program's) stands for no file.
TEST_F(ImportLoopTest, ResumeIntoAnOlderFileKeepsWhatItCannotTellApart) {
  const fs::path inbox = box() / "Inbox";
  WriteEml(inbox / "a.eml", "same");
  WriteEml(inbox / "b.eml", "same");  // the same Message-ID, another file
  WriteEml(inbox / "c.eml", "other");
  {
    rdo::RDOSession session;
    auto store = session.LogonPstStore((out() / "Box.pst").string(), 1, "Box");
    store->ValidateIPMTree();
    const pst::Nid folder = store->GetDefaultFolder(pst::kFolderInbox)->nid();
    auto add = [&](const std::string& id, const std::string& source) {
      pst::MessageContent m;
      m.props[pst::TagId(pst::tags::kSubject)] =
          pst::PropValue::String("old " + (source.empty() ? std::string("unnamed") : source));
      m.props[pst::TagId(pst::tags::kMessageClass)] = pst::PropValue::String("IPM.Note");
      m.props[pst::TagId(pst::tags::kInternetMessageId)] = pst::PropValue::String(id);
      if (!source.empty()) {
        pst::NamedProperty np;
        np.guid = pst::kPsPublicStrings;
        np.is_string = true;
        np.name = rdo::kSourceFileProperty;
        np.value = pst::PropValue::String(rdo::SourceFileText((inbox / source).string()));
        m.named.push_back(std::move(np));
      }
      ASSERT_TRUE(store->state()->store().AddMessage(folder, m).ok());
    };
    add("<same@velmora.test>", "a.eml");
    add("<other@velmora.test>", "");
    session.Logoff();
  }
  AddRow();
  conversion_.set_resume(Conversion::ResumeMode::kOn);
  conversion_.Run();
  const auto& o = conversion_.outcomes().at(0);
  EXPECT_EQ(o.already_present, std::vector<std::string>{(inbox / "a.eml").string()});
  EXPECT_EQ(o.converted, 2);
  auto check = CheckWithReaders((out() / "Box.pst").string(), {{{"Inbox", 4}}});
  if (!check.available) GTEST_SKIP() << "the independent PST readers are not installed";
  EXPECT_TRUE(check.ok) << check.output;
}

// Messages of "!" folders land in the folder named before the first "!", which is made when missing; names
// that are not UTF-8 and names with ":" before a separator keep their messages.
TEST_F(ImportLoopTest, EveryFolderRuleHasAPlaceForItsMessages) {
  VELMORA_LINUX_ONLY("\":\" and bytes that are not UTF-8 in names, which Windows forbids");
  // pffexport writes ":" as "_" in its folder names, so this case is read back through the store alone.
  WriteEml(box() / "Proj:" / "Old" / "f.eml", "f");
  AddRow();
  conversion_.Run();
  EXPECT_EQ(conversion_.outcomes().at(0).converted, 1);
  {
    rdo::RDOSession session;
    auto top = session.LogonPstStore((out() / "Box.pst").string())->IPMRootFolder();
    EXPECT_EQ(top->Folders()->Item("Proj:")->Folders()->Item("Old")->Items()->Count(), 1);
    session.Logoff();
  }
  fs::remove_all(box());
  fs::remove(out() / "Box.pst");
  host_.mailboxes.clear();

  WriteEml(box() / "Clients!" / "a.eml", "a");
  WriteEml(box() / "Clients!" / "Acme!" / "b.eml", "b");
  WriteEml(box() / "Projects" / "Sub !x" / "c.eml", "c");
  WriteEml(box() / "Inbox!later" / "d.eml", "d");
  WriteEml(box() / "!top" / "e.eml", "e");
  WriteEml(box() / "Caf\xE9" / "g.eml", "g");  // Latin-1 bytes, not UTF-8
  AddRow();
  conversion_.Run();
  const auto& o = conversion_.outcomes().at(0);
  EXPECT_EQ(o.converted, 6);
  EXPECT_TRUE(o.not_converted.empty()) << o.not_converted[0].path << ": " << o.not_converted[0].reason;
  auto check = CheckWithReaders(
      (out() / "Box.pst").string(),
      {{{"", 1}, {"Clients", 2}, {"Projects/Sub", 1}, {"Inbox", 1}, {"Caf\xEF\xBF\xBD", 1}}});
  if (!check.available) GTEST_SKIP() << "the independent PST readers are not installed";
  EXPECT_TRUE(check.ok) << check.output;
}

// Skip and Stop pressed while the first of three files is imported, answered Yes or No.
struct FlagCase {
  const char* name;
  bool skip, stop;
  std::vector<bool> answers;
  int converted;        // messages saved
  bool queues_emptied;  // normal end or skip
  bool session_kept;    // a confirmed stop keeps the session open
  const char* last_progress;
};

class FlagTest : public ImportLoopTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(FlagTest, ConfirmationsDecide) {
  const FlagCase& c = GetParam();
  for (int i = 0; i < 3; ++i) WriteEml(box() / ("m" + std::to_string(i) + ".eml"), "m" + std::to_string(i));
  AddRow();
  for (auto a : c.answers) host_.confirm_answers.push_back(a);
  bool pressed = false;
  host_.on_yield = [&](int64_t) {
    if (!pressed && !host_.LinesStartingWith("CurrentFile=Converting Messages").empty()) {
      pressed = true;
      run_.SkipRequested = c.skip;
      run_.StopRequested = c.stop;
    }
  };
  conversion_.Run();
  EXPECT_EQ(conversion_.outcomes().at(0).converted, c.converted);
  EXPECT_EQ(conversion_.outcomes().at(0).not_reached, 3 - c.converted) << "every file is accounted for";
  EXPECT_EQ(!run_.QueuedFiles.has_value(), c.queues_emptied);
  EXPECT_EQ(conversion_.SessionOpen(), c.session_kept);
  EXPECT_EQ(host_.Text(StatusLine::kProgressLine), c.last_progress);
  EXPECT_EQ(host_.unscripted, 0);
  // Whatever happened, everything saved is in the file on disk, also while a stopped run keeps its session.
  auto check = CheckWithReaders((out() / "Box.pst").string(), {{{"", c.converted}}});
  if (!check.available) GTEST_SKIP() << "the independent PST readers are not installed";
  EXPECT_TRUE(check.ok) << check.output;
}

INSTANTIATE_TEST_SUITE_P(
    SkipAndStop, FlagTest,
    ::testing::Values(
        FlagCase{"SkipDeclined", true, false, {false}, 3, true, false, "100% Complete"},
        FlagCase{"SkipConfirmed", true, false, {true}, 1, true, false, "Skipped... at 33% Complete"},
        FlagCase{"StopDeclined", false, true, {false}, 3, true, false, "100% Complete"},
        FlagCase{"StopConfirmed", false, true, {true}, 1, false, true, "Stopped... at 33% Complete"},
        // Skip is asked first; confirming it ends the folder without asking about Stop.
        FlagCase{"BothSkipConfirmed", true, true, {true}, 1, true, false, "Skipped... at 33% Complete"},
        FlagCase{"BothDeclinedThenStopConfirmed",
                 true,
                 true,
                 {false, true},
                 1,
                 false,
                 true,
                 "Stopped... at 33% Complete"}),
    [](const ::testing::TestParamInfo<FlagCase>& p) { return std::string(p.param.name); });

// The threads of this process, and its open descriptors that name a message file.
size_t Threads() {
  return static_cast<size_t>(
      std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()));
}
size_t OpenMessageFiles() {
  size_t n = 0;
  std::error_code ec;
  for (const auto& fd : fs::directory_iterator("/proc/self/fd"))
    n += fs::read_symlink(fd.path(), ec).extension() == ".eml";
  return n;
}

// The files parsed ahead of the store writer are let go whenever the loop ends: a confirmed stop (which
// keeps the session) and the mailbox's end leave no parsing thread and no message file open. The messages
// are signed: their parse reads the signed part from the file, so it holds the file open.
TEST_F(ImportLoopTest, StopAndEndLeaveNoParsingThreadOrMessageFileOpen) {
  VELMORA_LINUX_ONLY("threads and open files are counted in /proc");
  fs::create_directories(box());
  // Small files are read whole and closed at once; every eighth is past that size, so that its parse keeps
  // it open for the signature's bytes.
  const std::string large_text(4300 * 1024, 'x');
  for (int i = 0; i < 40; ++i) {
    std::ofstream(box() / ("m" + std::to_string(i) + ".eml"))
        << "From: a@example.com\r\nSubject: signed\r\nContent-Type: multipart/signed; "
           "protocol=\"application/pkcs7-signature\"; micalg=sha-256; boundary=s\r\n\r\n--s\r\n"
           "Content-Type: text/plain\r\n\r\nHello.\r\n"
        << (i % 8 == 0 ? large_text + "\r\n" : "")
        << "--s\r\nContent-Type: application/pkcs7-signature\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\nAAAA\r\n--s--\r\n";
  }
  AddRow();
  const size_t threads = Threads();
  host_.confirm_answers = {true};
  size_t open_while_running = 0, threads_while_running = 0;
  host_.on_yield = [&](int64_t) {
    open_while_running = std::max(open_while_running, OpenMessageFiles());
    threads_while_running = std::max(threads_while_running, Threads());
    // Stop once a parse ahead holds a file (or, on a very busy machine, at the 30th file).
    if (open_while_running > 0 || host_.LinesStartingWith("CurrentFile=Converting Messages").size() == 30)
      run_.StopRequested = true;
  };
  conversion_.Run();
  EXPECT_LT(conversion_.outcomes().at(0).converted, 40);
  EXPECT_TRUE(conversion_.SessionOpen()) << "a confirmed stop keeps the session";
  EXPECT_GT(threads_while_running, threads) << "files were parsed ahead";
  EXPECT_GT(open_while_running, 0u);
  EXPECT_EQ(Threads(), threads);
  EXPECT_EQ(OpenMessageFiles(), 0u);

  run_ = RunState();
  host_.on_yield = nullptr;
  conversion_.Run();
  EXPECT_EQ(Threads(), threads);
  EXPECT_EQ(OpenMessageFiles(), 0u);
}

TEST_F(ImportLoopTest, ConfirmedTextsAndTitles) {
  for (int i = 0; i < 2; ++i) WriteEml(box() / ("m" + std::to_string(i) + ".eml"), "m" + std::to_string(i));
  AddRow();
  host_.confirm_answers = {false, true};
  host_.on_yield = [&](int64_t) {
    if (!host_.LinesStartingWith("CurrentFile=Converting Messages").empty() &&
        host_.LinesStartingWith("Confirm").empty()) {
      run_.SkipRequested = true;
      run_.StopRequested = true;
    }
  };
  conversion_.Run();
  EXPECT_EQ(host_.LinesStartingWith("Confirm"),
            (std::vector<std::string>{"ConfirmSkip -> No", "ConfirmStop -> Yes"}));
  EXPECT_EQ(host_.Text(StatusLine::kCountLine), "Stopped...");
  EXPECT_GE(host_.request_page_closes, 1);
}

}  // namespace
}  // namespace velmora::engine
