// The object API over a file that fails: a full disk or a failing write surfaces as an Error with a
// description, never a crash, and what was committed before survives a power loss.
#include <gtest/gtest.h>

#include <set>

#include "pst/messaging/store_check.h"
#include "pst/ndb/check.h"
#include "pst/ndb/node_database.h"
#include "pst/ndb/testing/fault_file.h"
#include "rdo/rdo_mail.h"
#include "rdo/rdo_session.h"

namespace velmora::rdo {
namespace {

constexpr const char* kPath = "/mem/box.pst";

// One file at kPath, on a FaultInjectingFile; "/mem" is its folder.
class FaultyFiles : public PstFiles {
 public:
  PathKind Kind(const std::string& path) override {
    if (path == kPath) return exists_ ? PathKind::kFile : PathKind::kMissing;
    return path == "/mem" ? PathKind::kOther : PathKind::kMissing;
  }
  pst::Result<bool> LooksLikePst(const std::string&) override { return true; }
  pst::Result<std::unique_ptr<pst::NodeStore>> Open(const std::string&) override {
    PST_ASSIGN_OR_RETURN(auto db, pst::NodeDatabase::Open(file, true));
    return std::unique_ptr<pst::NodeStore>(std::move(db));
  }
  pst::Result<std::unique_ptr<pst::NodeStore>> Create(const std::string&) override {
    exists_ = true;
    PST_ASSIGN_OR_RETURN(auto db, pst::NodeDatabase::Create(file));
    return std::unique_ptr<pst::NodeStore>(std::move(db));
  }
  std::shared_ptr<pst::FaultInjectingFile> file = std::make_shared<pst::FaultInjectingFile>();

 private:
  bool exists_ = false;
};

// The folder paths below the IPM subtree of the durable image (what survives a power loss).
std::set<std::string> DurableFolders(const pst::FaultInjectingFile& f) {
  pst::MemoryFile image(f.durable());
  pst::CheckReport report = pst::CheckFile(image);
  EXPECT_TRUE(report.ok()) << report.Summary();
  auto db = pst::NodeDatabase::Open(std::make_shared<pst::MemoryFile>(f.durable()), false);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  if (!db.ok()) return {};
  std::vector<std::string> problems;
  auto folders = pst::CheckFolderTree(**db, &problems);
  for (auto& p : problems) ADD_FAILURE() << p;
  std::set<std::string> out;
  const std::string top = "Top of Personal Folders/";
  for (auto& folder : folders)
    if (folder.path.rfind(top, 0) == 0) out.insert(folder.path.substr(top.size()));
  return out;
}

TEST(FaultTest, AFullDiskIsAnErrorAndTheLastCommitSurvives) {
  auto files = std::make_shared<FaultyFiles>();
  RDOSession session(files);
  session.set_commit_interval(std::chrono::milliseconds(0));
  auto store = session.LogonPstStore(kPath, 1, "Box");
  store->IPMRootFolder()->Folders()->Add("Before");
  files->file->SetCapacity(files->file->current().size());  // the disk is full from here on
  int made = 0;
  std::string error;
  try {
    for (; made < 200; ++made) store->IPMRootFolder()->Folders()->Add("F" + std::to_string(made));
  } catch (const Error& e) {
    error = e.description();
    EXPECT_EQ(e.number(), kMapiNotEnoughDisk) << error;
  }
  EXPECT_LT(made, 200) << "the disk never filled";
  EXPECT_EQ(error.rfind("Cannot save \"/mem/box.pst\": ", 0), 0u) << error;
  EXPECT_THROW(session.Logoff(), Error);
  files->file->Crash();
  std::set<std::string> survived = DurableFolders(*files->file);
  EXPECT_TRUE(survived.count("Before"));
  EXPECT_TRUE(survived.count("Deleted Items"));
}

// Which saves are durable: the first commit comes after a few messages (not after the interval), later ones
// by the interval; a failed commit leaves durable_saves() where the last good one put it and names the cause.
TEST(FaultTest, SavesAreDurableOnlyOnceACommitHoldsThem) {
  auto files = std::make_shared<FaultyFiles>();
  RDOSession session(files);
  session.set_commit_interval(std::chrono::hours(1));  // only the first-commit rule commits here
  auto store = session.LogonPstStore(kPath, 1, "Box");
  auto& state = *store->state();
  auto items = store->IPMRootFolder()->Items();
  uint64_t saved = 0;
  while (state.durable_saves() == 0 && saved < StoreState::kFirstCommitMessages) {
    items->Add()->Save();
    ++saved;
  }
  EXPECT_EQ(state.durable_saves(), saved) << "the first commit holds every save";
  EXPECT_LE(saved, StoreState::kFirstCommitMessages);
  items->Add()->Save();  // waits for the interval
  EXPECT_EQ(state.durable_saves(), saved);
  files->file->Crash();
  auto db = pst::NodeDatabase::Open(std::make_shared<pst::MemoryFile>(files->file->durable()), false);
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  std::vector<std::string> problems;
  auto folders = pst::CheckFolderTree(**db, &problems);
  EXPECT_EQ(pst::CheckFolderContents(**db, folders, &problems), saved);
  EXPECT_TRUE(problems.empty()) << problems[0];

  files->file->FailWrite(1, /*sticky=*/true);  // every write fails from here on
  EXPECT_THROW(session.Logoff(), Error);
  EXPECT_EQ(state.durable_saves(), saved);
  EXPECT_NE(state.commit_error().find("Cannot save \"/mem/box.pst\""), std::string::npos)
      << state.commit_error();
}

TEST(FaultTest, AFailedWriteDuringLogonIsAnErrorNotACrash) {
  uint64_t writes = 0;  // of a logon without faults: each of them fails in turn below
  {
    auto files = std::make_shared<FaultyFiles>();
    RDOSession session(files);
    session.LogonPstStore(kPath, 1, "Box");
    writes = files->file->writes();
  }
  ASSERT_GE(writes, 4u);
  for (uint64_t nth = 1; nth <= writes; ++nth) {
    auto files = std::make_shared<FaultyFiles>();
    files->file->FailWrite(nth, /*sticky=*/true);
    RDOSession session(files);
    try {
      session.LogonPstStore(kPath, 1, "Box");
      ADD_FAILURE() << "write " << nth << " failed without an error";
    } catch (const Error& e) {
      EXPECT_FALSE(e.description().empty());
    }
    EXPECT_FALSE(session.LoggedOn());
  }
}

}  // namespace
}  // namespace velmora::rdo
