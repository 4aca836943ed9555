#include "rdo/rdo_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "rdo/testing/error_of.h"
#include "tests/support/pst_soundness.h"
#include "tests/support/support.h"

namespace velmora::rdo {
namespace {

using velmora::testing::TempDir;

using testing::ErrorOf;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// ---- Creating the session

TEST(CreateObjectTest, MakesASessionByProgIdAndRefusesOthers) {
  EXPECT_NE(CreateObjectAs<RDOSession>("Redemption.RDOSession"), nullptr);
  int32_t hr = 0;
  EXPECT_EQ(ErrorOf([] { CreateObject("Redemption.Nothing"); }, &hr),
            "Class not registered: \"Redemption.Nothing\"");
  EXPECT_EQ(hr, kClassNotRegistered);
}

TEST(CreateObjectTest, ATestCanMakeItFailAndRestoreIt) {
  {
    ScopedObjectFactory failing([](const std::string&) -> std::shared_ptr<Object> {
      throw Error(kClassNotRegistered, "Redemption is not installed");
    });
    EXPECT_EQ(ErrorOf([] { CreateObject("Redemption.RDOSession"); }), "Redemption is not installed");
  }
  EXPECT_NE(CreateObjectAs<RDOSession>("Redemption.RDOSession"), nullptr);
}

// ---- LogonPstStore

class SessionTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.str() + "/" + name; }
  TempDir dir_;
};

TEST_F(SessionTest, NewFileGetsTheStoreNameAndTheDefaultFolders) {
  const std::string path = Path("Inbox6.12.26 14.5.09.pst");
  const std::string name = "Inbox : Created - 6.12.26 14.5.09";
  RDOSession session;
  auto store = session.LogonPstStore(path, 1, name);
  EXPECT_EQ(store->DisplayName(), name);
  std::string id = store->EntryID();
  store->ValidateIPMTree();
  auto again = session.GetStoreFromID(id);
  EXPECT_EQ(again->GetDefaultFolder(pst::kFolderInbox)->Name(), "Inbox");
  EXPECT_EQ(again->GetDefaultFolder(pst::kFolderSentMail)->Name(), "Sent Items");
  EXPECT_EQ(std::string(*again->GetDefaultFolder(pst::kFolderSentMail)), "Sent Items")
      << "Name is the default value";
  EXPECT_EQ(session.Stores()->GetStoreFromID(id)->DisplayName(), name);
  EXPECT_EQ(session.Stores()->Count(), 1);
  auto root = again->IPMRootFolder();
  std::set<std::string> names;
  for (auto& f : root->Folders()->Snapshot()) names.insert(f->Name());
  std::set<std::string> want = {"Deleted Items", "Inbox", "Outbox", "Sent Items", "Calendar",   "Contacts",
                                "Journal",       "Notes", "Tasks",  "Drafts",     "Junk E-mail"};
  EXPECT_EQ(names, want);
  session.Logoff();
  EXPECT_FALSE(session.LoggedOn());
  velmora::testing::ExpectPstSound(path);
}

TEST_F(SessionTest, ExistingPstIsOpenedAndAddedTo) {
  const std::string path = Path("m.pst");
  std::string inbox_id;
  {
    RDOSession session;
    auto store = session.LogonPstStore(path, 1, "Mailbox");
    store->ValidateIPMTree();
    auto inbox = store->GetDefaultFolder(pst::kFolderInbox);
    inbox_id = inbox->EntryID();
    inbox->Folders()->Add("Projects", 6);
    session.Logoff();
  }
  {
    RDOSession session;
    auto store = session.LogonPstStore(path, 1, "Mailbox");
    EXPECT_EQ(store->GetDefaultFolder(pst::kFolderInbox)->EntryID(), inbox_id);
    auto projects = session.GetFolderFromPath("\\\\Mailbox\\Inbox\\Projects");
    EXPECT_EQ(projects->Name(), "Projects");
    projects->Folders()->Add("2026");
    session.Logoff();
  }
  RDOSession session;
  EXPECT_EQ(session.LogonPstStore(path, 1, "Other : Created - 7.12.26 9.0.00")->DisplayName(), "Mailbox")
      << "an existing file keeps its own name";
  EXPECT_THROW(session.GetFolderFromPath("\\\\Other : Created - 7.12.26 9.0.00"), Error);
  EXPECT_EQ(session.GetFolderFromPath("\\\\Mailbox\\Inbox\\Projects\\2026\\")->Name(), "2026");
  session.Logoff();
  velmora::testing::ExpectPstSound(path);
}

TEST_F(SessionTest, BadPathsGiveClearErrorsAndNeverTouchAForeignFile) {
  RDOSession session;
  EXPECT_EQ(ErrorOf([&] { session.LogonPstStore(Path("no/such/folder/x.pst"), 1, "x"); }),
            "Cannot create \"" + Path("no/such/folder/x.pst") + "\": the folder \"" + Path("no/such/folder") +
                "\" does not exist");
  {
    std::ofstream(Path("notes.txt")) << "not a pst, and it must stay as it is\n";
    const std::string before = ReadAll(Path("notes.txt"));
    int32_t hr = 0;
    EXPECT_EQ(ErrorOf([&] { session.LogonPstStore(Path("notes.txt"), 1, "x"); }, &hr),
              "\"" + Path("notes.txt") + "\" is not an Outlook data file (.pst)");
    EXPECT_EQ(hr, kMapiCorruptData);
    EXPECT_EQ(ReadAll(Path("notes.txt")), before);
  }
  {
    // Starts like a PST but is cut short: an error naming the file, and the bytes stay.
    const std::string fake("!BDN\0\0\0\0SM\x17\0", 12);
    std::ofstream(Path("cut.pst"), std::ios::binary) << fake;
    dir_.Unchecked(Path("cut.pst"));
    const std::string before = ReadAll(Path("cut.pst"));
    std::string what = ErrorOf([&] { session.LogonPstStore(Path("cut.pst"), 1, "x"); });
    EXPECT_EQ(what.rfind("Cannot open \"" + Path("cut.pst") + "\": ", 0), 0u) << what;
    EXPECT_EQ(ReadAll(Path("cut.pst")), before);
  }
  EXPECT_EQ(ErrorOf([&] { session.LogonPstStore(dir_.str(), 1, "x"); }),
            "\"" + dir_.str() + "\" is not a file");
  std::string denied = ErrorOf([&] { session.LogonPstStore("/sys/velmora-test.pst", 1, "x"); });
  EXPECT_EQ(denied.rfind("Cannot create \"/sys/velmora-test.pst\": ", 0), 0u) << denied;
  EXPECT_NE(ErrorOf([&] { session.LogonPstStore(Path("ansi.pst"), 2, "x"); }), "(no error)");
  EXPECT_FALSE(session.LoggedOn());
}

TEST_F(SessionTest, AKilledRunLeavesAFileWithEverythingCommittedBeforeTheKill) {
  const std::string path = Path("live.pst");
  const std::string copy_at_logon = Path("at-logon.pst");
  const std::string copy_later = Path("later.pst");
  RDOSession session;
  session.set_commit_interval(std::chrono::milliseconds(0));  // every change is committed at once
  auto store = session.LogonPstStore(path, 1, "Live");
  std::filesystem::copy_file(path, copy_at_logon);  // what a kill right after LogonPstStore leaves
  store->ValidateIPMTree();
  store->GetDefaultFolder(pst::kFolderInbox)->Folders()->Add("Kept");
  std::filesystem::copy_file(path, copy_later);  // a kill before Logoff
  session.set_commit_interval(std::chrono::hours(1));
  auto late = session.LogonPstStore(Path("second.pst"), 1, "Second");
  late->IPMRootFolder()->Folders()->Add("Only after Commit");
  session.Commit();  // what the engine does after a confirmed Stop
  std::filesystem::copy_file(Path("second.pst"), Path("second-copy.pst"));
  velmora::testing::ExpectPstSound(copy_at_logon);
  velmora::testing::ExpectPstSound(copy_later);
  RDOSession reader;
  EXPECT_EQ(reader.LogonPstStore(copy_later, 1, "")
                ->GetDefaultFolder(pst::kFolderInbox)
                ->Folders()
                ->Item("Kept")
                ->Name(),
            "Kept");
  EXPECT_EQ(reader.LogonPstStore(copy_at_logon, 1, "")->IPMRootFolder()->Folders()->Count(), 1)
      << "only Deleted Items before ValidateIPMTree";
  EXPECT_EQ(reader.LogonPstStore(Path("second-copy.pst"), 1, "")->IPMRootFolder()->Folders()->Count(), 2);
  reader.Logoff();
  session.Logoff();
}

// ---- Folders and paths

class FolderTest : public SessionTest {
 protected:
  void SetUp() override {
    store_ = session_.LogonPstStore(Path("f.pst"), 1, "Box : Created - 1.2.26 3.4.05");
    store_->ValidateIPMTree();
  }
  RDOSession session_;
  std::shared_ptr<RDOStore> store_;
};

TEST_F(FolderTest, GetFolderFromPathNamesTheFirstMissingFolder) {
  auto top = store_->IPMRootFolder()->Folders();
  auto a = top->Add("A", 6);
  a->Folders()->Add("B", 6);
  const std::string s = "\\\\Box : Created - 1.2.26 3.4.05";
  EXPECT_EQ(session_.GetFolderFromPath(s + "\\A\\B")->Name(), "B");
  EXPECT_EQ(session_.GetFolderFromPath(s + "\\A\\B\\")->Name(), "B");
  EXPECT_EQ(session_.GetFolderFromPath(s)->EntryID(), store_->IPMRootFolder()->EntryID());
  EXPECT_EQ(session_.GetFolderFromPath(s + "\\")->EntryID(), store_->IPMRootFolder()->EntryID());
  int32_t hr = 0;
  EXPECT_EQ(ErrorOf([&] { session_.GetFolderFromPath(s + "\\A\\X\\Y"); }, &hr),
            "Folder \"X\" does not exist");
  EXPECT_EQ(hr, kMapiNotFound);
  EXPECT_EQ(ErrorOf([&] { session_.GetFolderFromPath(s + "\\Notebook\\Pages"); }),
            "Folder \"Notebook\" does not exist");
  EXPECT_EQ(ErrorOf([&] { session_.GetFolderFromPath(s + "\\a\\B"); }), "Folder \"a\" does not exist")
      << "names compare case-sensitively";
  EXPECT_EQ(ErrorOf([&] { session_.GetFolderFromPath(s + "\\A\\\\B"); }), "Folder \"\" does not exist");
  EXPECT_NE(ErrorOf([&] { session_.GetFolderFromPath("\\\\Other store\\A"); }), "(no error)");
}

TEST_F(FolderTest, AddRefusesATakenNameAndTheCollectionEnumerates) {
  auto inbox = store_->GetDefaultFolder(pst::kFolderInbox);
  auto subs = inbox->Folders();
  EXPECT_EQ(subs->Count(), 0);
  subs->Add("Projects");
  subs->Add("projects");
  int32_t hr = 0;
  EXPECT_EQ(ErrorOf([&] { subs->Add("Projects", 6); }, &hr), "A folder named \"Projects\" already exists");
  EXPECT_EQ(hr, kMapiCollision);
  EXPECT_EQ(ErrorOf([&] { store_->IPMRootFolder()->Folders()->Add("Drafts", 6); }),
            "A folder named \"Drafts\" already exists");
  EXPECT_EQ(subs->Count(), 2);
  EXPECT_EQ(subs->Item(1)->Name(), "Projects");
  EXPECT_EQ(subs->Item(2)->Name(), "projects");
  EXPECT_EQ(subs->Item("projects")->Parent()->Name(), "Inbox");
  EXPECT_NE(ErrorOf([&] { subs->Item(3); }), "(no error)");
  EXPECT_EQ(subs->Item(1)->ContainerClass(), "IPF.Note");
  EXPECT_EQ(store_->RootFolder()->Parent(), nullptr);
  EXPECT_EQ(store_->IPMRootFolder()->Parent()->EntryID(), store_->RootFolder()->EntryID());
  EXPECT_EQ(store_->GetFolderFromID(subs->Item(2)->EntryID())->Name(), "projects");
}

TEST_F(FolderTest, LogonTwiceGivesTheSameStore) {
  auto again = session_.LogonPstStore(Path("f.pst"), 1, "ignored while open");
  EXPECT_EQ(again->EntryID(), store_->EntryID());
  EXPECT_EQ(session_.Stores()->Count(), 1);
  auto other = session_.LogonPstStore(Path("g.pst"), 1, "Other");
  EXPECT_NE(other->EntryID(), store_->EntryID()) << "every new file gets its own record key";
  EXPECT_EQ(session_.Stores()->Count(), 2);
  EXPECT_EQ(session_.GetStoreFromID(other->EntryID())->DisplayName(), "Other");
  EXPECT_EQ(session_.Stores()->Item(2)->DisplayName(), "Other");
}

TEST_F(FolderTest, ObjectsFailCleanlyAfterLogoff) {
  auto inbox = store_->GetDefaultFolder(pst::kFolderInbox);
  session_.Logoff();
  EXPECT_NE(ErrorOf([&] { inbox->Name(); }), "(no error)");
  EXPECT_NE(ErrorOf([&] { session_.GetStoreFromID("00"); }), "(no error)");
}

}  // namespace
}  // namespace velmora::rdo
