#include "pst/messaging/message_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "pst/messaging/node_io.h"
#include "pst/messaging/store_check.h"
#include "pst/ndb/check.h"
#include "pst/ndb/node_database.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {
namespace {

constexpr RecordKey kKey = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                            0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

// A PST in memory through the node database; on destruction the committed file goes through the format
// checker, so every test here also checks the bytes it made.
class MemoryPst {
 public:
  MemoryPst() : file_(std::make_shared<MemoryFile>()) {
    auto db = NodeDatabase::Create(file_);
    EXPECT_TRUE(db.ok()) << db.status().ToString();
    db_ = std::move(db).value();
  }
  ~MemoryPst() {
    CheckReport report = CheckFile(*file_);
    EXPECT_TRUE(report.ok()) << report.Summary();
  }
  NodeDatabase& db() { return *db_; }

 private:
  std::shared_ptr<MemoryFile> file_;
  std::unique_ptr<NodeDatabase> db_;
};

std::unique_ptr<MessageStore> NewStore(NodeStore& nodes, std::string name = "Mailbox") {
  auto ms = MessageStore::Create(nodes, {name, kKey});
  EXPECT_TRUE(ms.ok()) << ms.status().ToString();
  return std::move(ms).value();
}

// Checks the node store and returns "path" -> NID for every folder: invariants 1, 2 and 4 of
// message_store.h hold for every folder (store_check.h).
std::map<std::string, Nid> CheckTree(NodeStore& nodes) {
  std::vector<std::string> problems;
  auto folders = CheckFolderTree(nodes, &problems);
  for (auto& p : problems) ADD_FAILURE() << p;
  std::map<std::string, Nid> out;
  for (auto& f : folders) out[f.path] = f.nid;
  return out;
}

// ---- The nodes of a new file

// Every NID of a new Outlook 2010 data file (pstsdk's sample1.pst) less its user folder 0x8082 (+ tables),
// its message, and the ItemProcSearch folder that Outlook adds when it first runs its item processor.
const std::vector<Nid> kOutlookNewFileNids = {
    0x21,   0x61,   0x122,  0x12D,  0x12E,  0x12F,  0x1E1,  0x201,  0x261,  0x281,  0x2A1,
    0x321,  0x501,  0x60D,  0x60E,  0x60F,  0x610,  0x62B,  0x64C,  0x671,  0x692,  0x6B6,
    0x6D7,  0x6F8,  0xC01,  0xE01,  0xE41,  0x2223, 0x2226, 0x2227, 0x2230, 0x8022, 0x802D,
    0x802E, 0x802F, 0x8042, 0x804D, 0x804E, 0x804F, 0x8062, 0x806D, 0x806E, 0x806F};

TEST(NewStoreTest, WritesTheNodesOutlookWritesForANewFile) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes);
  EXPECT_EQ(AllNids(nodes), kOutlookNewFileNids);
  EXPECT_FALSE(pst.db().has_uncommitted_changes()) << "Create commits";
}

TEST(NewStoreTest, FolderTreeIsOutlooksAndAgreesWithItsTables) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes);
  auto tree = CheckTree(nodes);
  std::map<std::string, Nid> want = {{"", 0x122},
                                     {"Top of Personal Folders", 0x8022},
                                     {"Search Root", 0x8042},
                                     {"SPAM Search Folder 2", 0x2223},
                                     {"Top of Personal Folders/Deleted Items", 0x8062}};
  EXPECT_EQ(tree, want);
  EXPECT_EQ(*ms->IpmSubtree(), 0x8022u);
  EXPECT_EQ(*ms->DefaultFolder(kFolderDeletedItems), 0x8062u);
  EXPECT_FALSE(ms->DefaultFolder(kFolderInbox).ok()) << "no Inbox before ValidateIpmTree";
}

TEST(NewStoreTest, StorePropertiesNameTheFileAndItsFoldersAndHoldNoPassword) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes, "Inbox : Created - 6.12.26 14.5.09");
  auto props = ReadPropertyNode(nodes, kNidMessageStore);
  ASSERT_TRUE(props.ok()) << props.status().ToString();
  EXPECT_EQ(props->at(TagId(tags::kDisplayName)).AsString(), "Inbox : Created - 6.12.26 14.5.09");
  EXPECT_EQ(props->at(TagId(tags::kRecordKey)).bytes, std::vector<uint8_t>(kKey.begin(), kKey.end()));
  EXPECT_EQ(props->at(TagId(tags::kPstPassword)).AsInt32(), 0);
  EXPECT_EQ(props->at(TagId(tags::kIpmSubtreeEntryId)).bytes, MakeEntryId(kKey, 0x8022));
  EXPECT_EQ(props->at(TagId(tags::kIpmWastebasketEntryId)).bytes, MakeEntryId(kKey, 0x8062));
  EXPECT_EQ(props->at(TagId(tags::kFinderEntryId)).bytes, MakeEntryId(kKey, 0x8042));
  EXPECT_EQ(props->at(TagId(tags::kValidFolderMask)).AsInt32(), 0x89);
}

TEST(NewStoreTest, EmptyFolderTablesShareTheTemplateBlocks) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes);
  auto data = [&](Nid nid) { return (*nodes.FindNode(nid))->data; };
  EXPECT_EQ(data(0x806E), data(kNidContentsTableTemplate));
  EXPECT_EQ(data(0x806F), data(kNidAssocContentsTableTemplate));
  EXPECT_EQ(data(0x806D), data(kNidHierarchyTableTemplate));
  EXPECT_EQ(data(0x2230), data(kNidSearchContentsTableTemplate));
  EXPECT_NE(data(0x802D), data(kNidHierarchyTableTemplate)) << "the IPM subtree lists Deleted Items";
}

TEST(NewStoreTest, CreateRefusesAFileThatHoldsAStore) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes);
  auto again = MessageStore::Create(nodes, {"x", kKey});
  EXPECT_EQ(again.status().code(), Code::kAlreadyExists);
}

// ---- Folder trees of many shapes

struct TreeCase {
  int folders;
  int depth;  // each new folder goes below the previous one until this depth, then back to the top
};

class FolderTreeTest : public ::testing::TestWithParam<TreeCase> {};

// Invariants 1, 2 and 4 on trees of every shape.
TEST_P(FolderTreeTest, HierarchyTablesAgreeWithThePcsBeforeAndAfterReopening) {
  const TreeCase c = GetParam();
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  std::map<std::string, int> expected;  // path below the IPM subtree -> depth
  {
    auto ms = NewStore(nodes);
    Nid ipm = *ms->IpmSubtree();
    Nid parent = ipm;
    std::string parent_path;
    int depth = 0;
    for (int i = 0; i < c.folders; ++i) {
      // Unicode names of several scripts, some of them differing only in case.
      std::string name = (i % 3 == 0 ? "Ordner " : i % 3 == 1 ? "папка " : "文件夹 ") + std::to_string(i);
      if (i % 7 == 0) name = "Folder " + std::to_string(i / 7);
      if (i % 7 == 1) name = "folder " + std::to_string(i / 7);
      auto nid = ms->CreateFolder(parent, name);
      ASSERT_TRUE(nid.ok()) << nid.status().ToString();
      std::string path = parent_path.empty() ? name : parent_path + "/" + name;
      expected[path] = depth + 1;
      if (++depth < c.depth) {
        parent = *nid;
        parent_path = path;
      } else {
        parent = ipm;
        parent_path.clear();
        depth = 0;
      }
    }
    ASSERT_TRUE(ms->Commit().ok());
    EXPECT_EQ(ms->folder_count(), 5u + static_cast<size_t>(c.folders));
  }
  auto check = [&] {
    auto tree = CheckTree(nodes);
    std::map<std::string, int> found;
    const std::string top = "Top of Personal Folders/";
    for (auto& [path, nid] : tree) {
      if (path.rfind(top, 0) != 0 || path == top + "Deleted Items") continue;
      std::string rel = path.substr(top.size());
      found[rel] = static_cast<int>(std::count(rel.begin(), rel.end(), '/')) + 1;
    }
    EXPECT_EQ(found, expected);
  };
  check();
  auto reopened = MessageStore::Open(nodes);
  ASSERT_TRUE(reopened.ok()) << reopened.status().ToString();
  EXPECT_EQ((*reopened)->folder_count(), 5u + static_cast<size_t>(c.folders));
  // Reopen and add one more at the top and one in the deepest folder.
  Nid ipm = *(*reopened)->IpmSubtree();
  ASSERT_TRUE((*reopened)->CreateFolder(ipm, "Added after reopening").ok());
  expected["Added after reopening"] = 1;
  if (c.folders > 0) {
    const FolderInfo* first = (*reopened)->Folder((*reopened)->Folder(ipm)->children[1]);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE((*reopened)->CreateFolder(first->nid, "Inner").ok());
    expected[first->name + "/Inner"] = 2;
  }
  ASSERT_TRUE((*reopened)->Commit().ok());
  check();
}

INSTANTIATE_TEST_SUITE_P(Shapes, FolderTreeTest,
                         ::testing::Values(TreeCase{0, 1}, TreeCase{1, 1}, TreeCase{500, 6},
                                           TreeCase{5000, 6}, TreeCase{600, 1}),
                         [](const auto& param_info) {
                           return std::to_string(param_info.param.folders) + "_folders_depth_" +
                                  std::to_string(param_info.param.depth);
                         });

// ---- Names

// Invariant 4.
TEST(FolderNameTest, ASecondSubFolderOfExactlyTheSameNameIsRefused) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes);
  Nid ipm = *ms->IpmSubtree();
  ASSERT_TRUE(ms->CreateFolder(ipm, "Inbox").ok());
  auto again = ms->CreateFolder(ipm, "Inbox");
  EXPECT_EQ(again.status().code(), Code::kAlreadyExists);
  EXPECT_TRUE(ms->CreateFolder(ipm, "inbox").ok()) << "names compare case-sensitively";
  EXPECT_TRUE(ms->CreateFolder(ipm, "Inbox ").ok()) << "trailing blank makes another name";
  EXPECT_EQ(ms->CreateFolder(ipm, "Deleted Items").status().code(), Code::kAlreadyExists);
  EXPECT_EQ(ms->CreateFolder(ipm, "").status().code(), Code::kInvalidArgument);
  ASSERT_TRUE(ms->Commit().ok());
  EXPECT_EQ(ms->Folder(ipm)->children.size(), 4u);
  CheckTree(nodes);
}

TEST(FolderNameTest, TheSameNameMayExistBelowDifferentParents) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes);
  Nid ipm = *ms->IpmSubtree();
  Nid a = *ms->CreateFolder(ipm, "A");
  Nid b = *ms->CreateFolder(ipm, "B");
  EXPECT_TRUE(ms->CreateFolder(a, "Same").ok());
  EXPECT_TRUE(ms->CreateFolder(b, "Same").ok());
  EXPECT_EQ(ms->FindSubFolder(a, "Same").has_value(), true);
  EXPECT_FALSE(ms->FindSubFolder(ipm, "Same").has_value());
}

TEST(FolderNameTest, RenamingKeepsTheParentRowAndTheNameIndexInStep) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes);
  Nid ipm = *ms->IpmSubtree();
  Nid a = *ms->CreateFolder(ipm, "Old");
  ASSERT_TRUE(ms->CreateFolder(ipm, "Taken").ok());
  EXPECT_EQ(ms->SetFolderProperty(a, tags::kDisplayName, PropValue::String("Taken")).code(),
            Code::kAlreadyExists);
  ASSERT_TRUE(ms->SetFolderProperty(a, tags::kDisplayName, PropValue::String("Neu")).ok());
  EXPECT_EQ(ms->FindSubFolder(ipm, "Neu"), a);
  EXPECT_FALSE(ms->FindSubFolder(ipm, "Old").has_value());
  ASSERT_TRUE(ms->Commit().ok());
  auto tree = CheckTree(nodes);
  EXPECT_EQ(tree.count("Top of Personal Folders/Neu"), 1u);
}

// ---- Default folders

TEST(DefaultFolderTest, ValidateIpmTreeMakesOutlooksDefaultSetWithItsClasses) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes);
  ASSERT_TRUE(ms->ValidateIpmTree().ok());
  ASSERT_TRUE(ms->Commit().ok());
  struct Want {
    int code;
    const char* name;
    const char* cls;
  };
  for (Want w :
       {Want{3, "Deleted Items", ""}, Want{4, "Outbox", "IPF.Note"}, Want{5, "Sent Items", "IPF.Note"},
        Want{6, "Inbox", "IPF.Note"}, Want{9, "Calendar", "IPF.Appointment"},
        Want{10, "Contacts", "IPF.Contact"}, Want{11, "Journal", "IPF.Journal"},
        Want{12, "Notes", "IPF.StickyNote"}, Want{13, "Tasks", "IPF.Task"}, Want{16, "Drafts", "IPF.Note"},
        Want{23, "Junk E-mail", "IPF.Note"}}) {
    auto nid = ms->DefaultFolder(w.code);
    ASSERT_TRUE(nid.ok()) << w.code << ": " << nid.status().ToString();
    EXPECT_EQ(ms->Folder(*nid)->name, w.name);
    EXPECT_EQ(ms->Folder(*nid)->container_class, w.cls) << w.name;
    EXPECT_EQ(ms->Folder(*nid)->parent, *ms->IpmSubtree()) << w.name;
  }
  EXPECT_EQ(ms->DefaultFolder(7).status().code(), Code::kInvalidArgument);
  auto tree = CheckTree(nodes);
  EXPECT_EQ(tree.size(), 5u + 10u);
}

TEST(DefaultFolderTest, WiringIsWhereOutlookLooksAndSurvivesReopening) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  Nid inbox, calendar, junk, sent;
  {
    auto ms = NewStore(nodes);
    ASSERT_TRUE(ms->ValidateIpmTree().ok());
    ASSERT_TRUE(ms->Commit().ok());
    inbox = *ms->DefaultFolder(kFolderInbox);
    calendar = *ms->DefaultFolder(kFolderCalendar);
    junk = *ms->DefaultFolder(kFolderJunk);
    sent = *ms->DefaultFolder(kFolderSentMail);
  }
  // Read back from the nodes, not from the index.
  auto store = ReadPropertyNode(nodes, kNidMessageStore);
  ASSERT_TRUE(store.ok());
  EXPECT_EQ(store->at(TagId(tags::kIpmSentMailEntryId)).bytes, MakeEntryId(kKey, sent));
  EXPECT_EQ(store->at(TagId(tags::kValidFolderMask)).AsInt32().value() & 0x9F, 0x9F);
  auto receive = ReadTableNode(nodes, kNidReceiveFolderTable);
  ASSERT_TRUE(receive.ok());
  std::map<std::string, int32_t> rows;
  for (auto& r : receive->rows)
    rows[*r.cells.at(tags::kMessageClass).AsString()] = *r.cells.at(tags::kReceiveFolderNid).AsInt32();
  std::map<std::string, int32_t> want_rows = {{"", static_cast<int32_t>(inbox)},
                                              {"IPM", static_cast<int32_t>(inbox)},
                                              {"Report.IPM", static_cast<int32_t>(inbox)},
                                              {"IPC", static_cast<int32_t>(kNidRootFolder)}};
  EXPECT_EQ(rows, want_rows);
  for (Nid holder : {kNidRootFolder, inbox}) {
    auto props = ReadPropertyNode(nodes, holder);
    ASSERT_TRUE(props.ok());
    EXPECT_EQ(props->at(TagId(tags::kIpmAppointmentEntryId)).bytes, MakeEntryId(kKey, calendar))
        << NidText(holder);
    auto ren = DecodeMultiValue(kPtypMultipleBinary, props->at(TagId(tags::kAdditionalRenEntryIds)).bytes);
    ASSERT_TRUE(ren.has_value());
    ASSERT_EQ(ren->size(), 6u);
    EXPECT_EQ((*ren)[4], MakeEntryId(kKey, junk));
    EXPECT_TRUE((*ren)[0].empty());
  }
  auto reopened = MessageStore::Open(nodes);
  ASSERT_TRUE(reopened.ok()) << reopened.status().ToString();
  EXPECT_EQ(*(*reopened)->DefaultFolder(kFolderInbox), inbox);
  EXPECT_EQ(*(*reopened)->DefaultFolder(kFolderJunk), junk);
  size_t before = (*reopened)->folder_count();
  ASSERT_TRUE((*reopened)->ValidateIpmTree().ok());
  EXPECT_EQ((*reopened)->folder_count(), before) << "a second ValidateIpmTree makes nothing new";
}

TEST(DefaultFolderTest, AFolderAlreadyNamedInboxBecomesTheInbox) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes);
  Nid mine = *ms->CreateFolder(*ms->IpmSubtree(), "Inbox");
  ASSERT_TRUE(ms->ValidateIpmTree().ok());
  EXPECT_EQ(*ms->DefaultFolder(kFolderInbox), mine);
}

// ---- Contents tables (the hook the message layer uses)

// Invariants 3 and 1: counts follow the rows, and the parent's row follows the counts.
TEST(ContentsTableTest, CountsFollowTheRowsAtCommitAndReachTheParentRow) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes);
  Nid folder = *ms->CreateFolder(*ms->IpmSubtree(), "Mail");
  ASSERT_TRUE(ms->Commit().ok());
  auto table = ms->MutableContentsTable(folder, false);
  ASSERT_TRUE(table.ok()) << table.status().ToString();
  for (uint32_t i = 0; i < 3; ++i) {
    TableRow row;
    row.row_id = MakeNid(kNidTypeNormalMessage, 0x10000 + i);
    row.cells[0x0E070003] = PropValue::Int32(i == 0 ? 0x01 : 0x00);  // the first is read
    (*table)->rows.push_back(std::move(row));
  }
  ASSERT_TRUE(ms->Commit().ok());
  EXPECT_EQ(ms->Folder(folder)->content_count, 3);
  EXPECT_EQ(ms->Folder(folder)->unread_count, 2);
  auto contents = ReadTableNode(nodes, MakeNid(kNidTypeContentsTable, NidIndexOf(folder)));
  ASSERT_TRUE(contents.ok());
  EXPECT_EQ(contents->rows.size(), 3u);
  CheckTree(nodes);  // the parent's hierarchy row carries 3 / 2
  EXPECT_EQ(ms->MutableContentsTable(0x2223, false).status().code(), Code::kUnsupported);
}

TEST(ContentsTableTest, PutReplacesByRowIdAndRemoveDropsAndThousandsStayCheap) {
  MemoryPst pst;
  NodeStore& nodes = pst.db();
  auto ms = NewStore(nodes);
  Nid folder = *ms->CreateFolder(*ms->IpmSubtree(), "Bulk");
  auto row = [](uint32_t i, int32_t flags) {
    TableRow r;
    r.row_id = MakeNid(kNidTypeNormalMessage, 0x10000 + i);
    r.cells[0x0E070003] = PropValue::Int32(flags);
    return r;
  };
  for (uint32_t i = 0; i < 20000; ++i) ASSERT_TRUE(ms->PutContentsRow(folder, false, row(i, 0)).ok());
  ASSERT_TRUE(ms->PutContentsRow(folder, false, row(7, 1)).ok());  // the same message again, now read
  ASSERT_TRUE(ms->RemoveContentsRow(folder, false, row(9, 0).row_id).ok());
  EXPECT_EQ(ms->RemoveContentsRow(folder, false, row(9, 0).row_id).code(), Code::kNotFound);
  ASSERT_TRUE(ms->PutContentsRow(folder, false, row(20000, 0)).ok());
  ASSERT_TRUE(ms->PutContentsRow(folder, true, row(1, 1)).ok());  // an FAI item
  ASSERT_TRUE(ms->Commit().ok());
  EXPECT_EQ(ms->Folder(folder)->content_count, 20000);
  EXPECT_EQ(ms->Folder(folder)->unread_count, 19999);
  EXPECT_EQ(ms->Folder(folder)->assoc_count, 1);
  auto reopened = MessageStore::Open(nodes);
  ASSERT_TRUE(reopened.ok());
  EXPECT_EQ((*reopened)->Folder(folder)->content_count, 20000);
  auto table = (*reopened)->MutableContentsTable(folder, false);
  ASSERT_TRUE(table.ok());
  std::set<uint32_t> ids;
  for (auto& r : (*table)->rows) ids.insert(r.row_id);
  EXPECT_EQ(ids.size(), 20000u);
  EXPECT_FALSE(ids.count(row(9, 0).row_id));
  CheckTree(nodes);
}

// ---- Damaged files

TEST(OpenTest, ReportsMissingAndLoopingFoldersByNid) {
  {
    MemoryPst pst;
    NodeStore& nodes = pst.db();
    auto ms = NewStore(nodes);
    ASSERT_TRUE(nodes.DeleteNode(0x8062).ok());
    auto opened = MessageStore::Open(nodes);
    EXPECT_EQ(opened.status().code(), Code::kNotFound);
    EXPECT_NE(opened.status().message().find("0x8062"), std::string::npos) << opened.status().message();
  }
  {
    MemoryPst pst;
    NodeStore& nodes = pst.db();
    auto ms = NewStore(nodes);
    // The IPM subtree lists the root folder as its child: a loop.
    Table loop;
    loop.columns = {kTagLtpRowId, kTagLtpRowVer, tags::kDisplayName};
    loop.rows.push_back(TableRow{kNidRootFolder, {}});
    ASSERT_TRUE(PutTableNode(nodes, 0x802D, loop).ok());
    auto opened = MessageStore::Open(nodes);
    EXPECT_EQ(opened.status().code(), Code::kCorruption);
    EXPECT_NE(opened.status().message().find("0x122"), std::string::npos) << opened.status().message();
  }
  {
    MemoryPst pst;
    NodeStore& nodes = pst.db();
    EXPECT_EQ(MessageStore::Open(nodes).status().code(), Code::kNotFound) << "an empty file has no store";
  }
}

}  // namespace
}  // namespace velmora::pst
