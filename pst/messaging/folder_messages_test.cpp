// Messages in folders: stored with their contents rows (invariant 5 of message_store.h), counted at commit
// (invariant 3), replaced in place, listed and read back after a reopen, written in one table write per
// folder however many are added, and added to the folders of Outlook-made files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "pst/messaging/message_store.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/store_check.h"
#include "pst/ndb/check.h"
#include "pst/ndb/node_database.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {
namespace {

using tags::kSubject;
constexpr PropTag kFlags = tags::kMessageFlags;
constexpr RecordKey kKey = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

// A node store that counts the writes of each node, over a node database in memory.
class CountingNodes : public NodeStore {
 public:
  explicit CountingNodes(NodeStore& inner) : inner_(inner) {}
  std::map<Nid, int> puts;

  Result<std::optional<NodeEntry>> FindNode(Nid nid) override { return inner_.FindNode(nid); }
  Status ForEachNode(const std::function<Status(const NodeEntry&)>& fn) override {
    return inner_.ForEachNode(fn);
  }
  Result<std::vector<Bid>> DataBlocks(Bid tree) override { return inner_.DataBlocks(tree); }
  Result<uint64_t> DataTreeSize(Bid tree) override { return inner_.DataTreeSize(tree); }
  Result<std::vector<uint8_t>> ReadDataBlock(Bid bid) override { return inner_.ReadDataBlock(bid); }
  Result<std::vector<SubnodeEntry>> ReadSubnodes(Bid tree) override { return inner_.ReadSubnodes(tree); }
  Result<Bid> WriteDataBlock(std::span<const uint8_t> bytes) override {
    block_bytes += bytes.size();
    return inner_.WriteDataBlock(bytes);
  }
  uint64_t block_bytes = 0;
  Result<Bid> WriteDataTree(std::span<const Bid> blocks) override { return inner_.WriteDataTree(blocks); }
  Result<Bid> WriteSubnodeTree(std::span<const SubnodeEntry> e) override {
    return inner_.WriteSubnodeTree(e);
  }
  Status PutNode(const NodeEntry& entry) override {
    ++puts[entry.nid];
    return inner_.PutNode(entry);
  }
  Status DeleteNode(Nid nid) override { return inner_.DeleteNode(nid); }
  Status AddRef(Bid tree) override { return inner_.AddRef(tree); }
  Status Release(Bid tree) override { return inner_.Release(tree); }
  Result<Nid> AllocateNid(NidType type) override { return inner_.AllocateNid(type); }
  Status Commit() override { return inner_.Commit(); }

 private:
  NodeStore& inner_;
};

// A file in memory with a store; the committed file goes through the format checker at the end.
class StoreFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = std::make_shared<MemoryFile>();
    db_ = std::move(NodeDatabase::Create(file_)).value();
    nodes_ = std::make_unique<CountingNodes>(*db_);
    store_ = std::move(MessageStore::Create(*nodes_, {"Mailbox", kKey})).value();
    folder_ = *store_->CreateFolder(*store_->IpmSubtree(), "Imported");
  }
  void TearDown() override {
    store_.reset();
    CheckReport report = CheckFile(*file_);
    EXPECT_TRUE(report.ok()) << report.Summary();
  }
  // Invariants 1 - 3 and 5 on the node store as committed or written so far.
  size_t CheckStore() {
    std::vector<std::string> problems;
    auto folders = CheckFolderTree(*db_, &problems);
    size_t n = CheckFolderContents(*db_, folders, &problems);
    for (auto& p : problems) ADD_FAILURE() << p;
    return n;
  }
  void Reopen() {
    ASSERT_TRUE(store_->Commit().ok());
    store_.reset();
    auto ms = MessageStore::Open(*nodes_);
    ASSERT_TRUE(ms.ok()) << ms.status().ToString();
    store_ = std::move(ms).value();
  }
  Nid Add(const std::string& subject, std::optional<int32_t> flags = std::nullopt) {
    MessageContent m;
    m.props[TagId(kSubject)] = PropValue::String(subject);
    if (flags) m.props[TagId(kFlags)] = PropValue::Int32(*flags);
    auto nid = store_->AddMessage(folder_, m);
    EXPECT_TRUE(nid.ok()) << nid.status().ToString();
    return nid.ok() ? *nid : 0;
  }
  const FolderInfo& Info() { return *store_->Folder(folder_); }
  int ContentsTableWrites() { return nodes_->puts[MakeNid(kNidTypeContentsTable, NidIndexOf(folder_))]; }

  std::shared_ptr<MemoryFile> file_;
  std::unique_ptr<NodeDatabase> db_;
  std::unique_ptr<CountingNodes> nodes_;
  std::unique_ptr<MessageStore> store_;
  Nid folder_ = 0;
};

// The store check reads tables row by row and holds no list of the messages; a message its folder does not
// list is still named.
TEST_F(StoreFixture, CheckNamesAMessageItsFolderDoesNotList) {
  Add("kept");
  Nid dropped = Add("dropped");
  Add("kept too");
  ASSERT_TRUE(store_->RemoveContentsRow(folder_, false, dropped).ok());
  ASSERT_TRUE(store_->Commit().ok());
  std::vector<std::string> problems;
  auto folders = CheckFolderTree(*db_, &problems);
  EXPECT_EQ(CheckFolderContents(*db_, folders, &problems), 2u);
  EXPECT_EQ(problems, std::vector<std::string>{NidText(dropped) + ": message of folder " + NidText(folder_) +
                                               " has no contents row"});
}

TEST_F(StoreFixture, MessagesAreCountedListedAndReadBackAfterAReopen) {
  Nid read = Add("read by default");
  Nid unread = Add("unread", 0);
  Nid flagged = Add("has-attach claimed, none there", 0x11);
  NamedProperty named;
  named.guid = kPsPublicStrings;
  named.is_string = true;
  named.name = "X-Mailer";
  named.value = PropValue::String("velmora");
  MessageContent with_named;
  with_named.named.push_back(named);
  auto fourth = store_->AddMessage(folder_, with_named);
  ASSERT_TRUE(fourth.ok());
  EXPECT_EQ(NidTypeOf(read), kNidTypeNormalMessage);
  EXPECT_EQ(*store_->Messages(folder_), (std::vector<Nid>{read, unread, flagged, *fourth}));

  Reopen();
  EXPECT_EQ(Info().content_count, 4);
  EXPECT_EQ(Info().unread_count, 1);
  EXPECT_EQ(CheckStore(), 4u);
  EXPECT_EQ(*store_->Messages(folder_), (std::vector<Nid>{read, unread, flagged, *fourth}));
  auto m = store_->ReadMessage(flagged);
  ASSERT_TRUE(m.ok()) << m.status().ToString();
  EXPECT_EQ(m->props[TagId(kSubject)].AsString(), "has-attach claimed, none there");
  EXPECT_EQ(m->props[TagId(kFlags)].AsInt32(), 0x01) << "the store owns MSGFLAG_HASATTACH";
  auto n = store_->ReadMessage(*fourth);
  ASSERT_TRUE(n.ok() && n->named.size() == 1);
  EXPECT_EQ(n->named[0].name, "X-Mailer");
  EXPECT_EQ(n->named[0].value.AsString(), "velmora");
  // The parent's hierarchy row follows (checked by CheckStore); adding after a reopen continues the table.
  Add("after reopen", 0);
  Reopen();
  EXPECT_EQ(Info().content_count, 5);
  EXPECT_EQ(Info().unread_count, 2);
  EXPECT_EQ(CheckStore(), 5u);
}

TEST_F(StoreFixture, ReplacingAMessageKeepsItsNidAndRowAndFollowsTheFlags) {
  Nid a = Add("first", 0);
  Nid b = Add("second", 0);
  ASSERT_TRUE(store_->Commit().ok());
  EXPECT_EQ(Info().unread_count, 2);
  MessageContent changed;
  changed.props[TagId(kSubject)] = PropValue::String("first, replaced");
  changed.props[TagId(kFlags)] = PropValue::Int32(1);
  ASSERT_TRUE(store_->ReplaceMessage(a, changed).ok());
  Reopen();
  EXPECT_EQ(*store_->Messages(folder_), (std::vector<Nid>{a, b}));
  EXPECT_EQ(Info().content_count, 2);
  EXPECT_EQ(Info().unread_count, 1);
  EXPECT_EQ(store_->ReadMessage(a)->props[TagId(kSubject)].AsString(), "first, replaced");
  EXPECT_EQ(CheckStore(), 2u);
}

TEST_F(StoreFixture, RefusesWhatIsNotAFolderOrAMessage) {
  MessageContent m;
  EXPECT_EQ(store_->AddMessage(0x12345602, m).status().code(), Code::kNotFound);
  EXPECT_EQ(store_->ReplaceMessage(folder_, m).code(), Code::kInvalidArgument);
  EXPECT_EQ(store_->ReplaceMessage(MakeNid(kNidTypeNormalMessage, 0x7777), m).code(), Code::kNotFound);
  EXPECT_EQ(store_->Messages(0x12345602).status().code(), Code::kNotFound);
  // A search folder holds no messages of its own.
  Nid search = 0;
  ASSERT_TRUE(store_->ValidateIpmTree().ok());
  (void)db_->ForEachNode([&](const NodeEntry& e) {
    if (NidTypeOf(e.nid) == kNidTypeSearchFolder && store_->Folder(e.nid)) search = e.nid;
    return Status::Ok();
  });
  if (search) {
    EXPECT_EQ(store_->AddMessage(search, m).status().code(), Code::kUnsupported);
  }
}

// The table is written whole once, when it is large enough to take rows in place; after that each commit
// writes the changed blocks of the table once, however many rows it got, and the counts follow the rows.
TEST_F(StoreFixture, TenThousandMessagesCostOneContentsTableWritePerCommit) {
  const int before = ContentsTableWrites();
  for (int i = 0; i < 10000; ++i) Add("message " + std::to_string(i), i % 3 == 0 ? 0 : 1);
  EXPECT_EQ(ContentsTableWrites(), before + 1) << "written whole once, then rows go in place";
  ASSERT_TRUE(store_->Commit().ok());
  EXPECT_EQ(ContentsTableWrites(), before + 2);
  for (int i = 0; i < 500; ++i) Add("more " + std::to_string(i), 0);
  ASSERT_TRUE(store_->Commit().ok());
  EXPECT_EQ(ContentsTableWrites(), before + 3);
  EXPECT_EQ(Info().content_count, 10500);
  EXPECT_EQ(Info().unread_count, 3834);
  EXPECT_EQ(CheckStore(), 10500u);
  Reopen();
  Nid last = Add("after reopening", 0);
  ASSERT_TRUE(store_->Commit().ok());
  EXPECT_EQ(store_->Messages(folder_)->back(), last);
  EXPECT_EQ(Info().content_count, 10501);
  EXPECT_EQ(Info().unread_count, 3835);
  EXPECT_EQ(CheckStore(), 10501u);
}

TEST_F(StoreFixture, TablesPastTheMemoryBoundAreWrittenEarlyAndReadAgain) {
  store_->set_table_memory_bound(20 * 1024);  // a few dozen rows
  const int before = ContentsTableWrites();
  std::vector<Nid> added;
  for (int i = 0; i < 300; ++i) added.push_back(Add("bounded " + std::to_string(i), i % 2));
  EXPECT_GT(ContentsTableWrites(), before) << "tables were written before the commit";
  EXPECT_LT(ContentsTableWrites(), before + 60) << "but not once per message";
  EXPECT_EQ(*store_->Messages(folder_), added);
  ASSERT_TRUE(store_->Commit().ok());
  EXPECT_EQ(Info().content_count, 300);
  EXPECT_EQ(Info().unread_count, 150);
  EXPECT_EQ(CheckStore(), 300u);
}

// A folder of 2,000 sub-folders: a commit that changes a few children (counts, a longer name, a new child)
// rewrites their rows in place, writing far less than the table, and the rows agree with the children's PCs
// (invariant 1) before and after a reopen.
TEST_F(StoreFixture, HierarchyRowsOfChangedChildrenAreRewrittenInPlace) {
  std::vector<Nid> children;
  for (int i = 0; i < 2000; ++i)
    children.push_back(*store_->CreateFolder(folder_, "Sub " + std::to_string(i)));
  ASSERT_TRUE(store_->Commit().ok());
  const Nid table = MakeNid(kNidTypeHierarchyTable, NidIndexOf(folder_));
  auto table_bytes = [&] {
    const NodeEntry e = **db_->FindNode(table);
    uint64_t n = *db_->DataTreeSize(e.data);
    const std::vector<SubnodeEntry> subnodes = *db_->ReadSubnodes(e.sub);
    for (const SubnodeEntry& s : subnodes) n += *db_->DataTreeSize(s.data);
    return n;
  };
  for (int round = 0; round < 2; ++round) {
    const uint64_t before = nodes_->block_bytes;
    for (Nid child : {children[round], children[1000], children.back()}) {
      MessageContent m;
      m.props[TagId(kSubject)] = PropValue::String("to a sub-folder");
      ASSERT_TRUE(store_->AddMessage(child, m).ok());
    }
    ASSERT_TRUE(store_
                    ->SetFolderProperty(children[7 + round], tags::kDisplayName,
                                        PropValue::String(std::string(200, 'n') + std::to_string(round)))
                    .ok());
    children.push_back(*store_->CreateFolder(folder_, "Added " + std::to_string(round)));
    ASSERT_TRUE(store_->Commit().ok());
    EXPECT_LT((nodes_->block_bytes - before) * 3, table_bytes()) << "round " << round;
    EXPECT_EQ(CheckStore(), size_t{3} * (round + 1));
    Reopen();
    EXPECT_EQ(store_->Folder(folder_)->children, children);
    EXPECT_EQ(store_->Folder(children[1000])->content_count, round + 1);
  }
}

// ---- Outlook-made files

std::optional<std::string> Sample(const std::string& name) {
  const char* env = std::getenv("VELMORA_SHARED");
  std::filesystem::path p = std::filesystem::path(env && *env ? env : "/work/shared") / "sample-pst" / name;
  if (!std::filesystem::exists(p)) return std::nullopt;
  return p.string();
}

class OutlookFileTest : public ::testing::TestWithParam<const char*> {};

TEST_P(OutlookFileTest, EveryMessageReadsAndAddedMessagesFitTheFoldersOwnTables) {
  auto path = Sample(GetParam());
  if (!path) GTEST_SKIP() << "sample files not available (set VELMORA_SHARED)";
  std::ifstream in(*path, std::ios::binary);
  auto file = std::make_shared<MemoryFile>(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
  auto db = NodeDatabase::Open(file, true);
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  auto ms = MessageStore::Open(**db);
  ASSERT_TRUE(ms.ok()) << ms.status().ToString();
  size_t read = 0;
  std::vector<Nid> folders = {(*ms)->root_folder()};
  for (size_t i = 0; i < folders.size(); ++i)
    for (Nid c : (*ms)->Folder(folders[i])->children) folders.push_back(c);
  for (Nid f : folders) {
    auto ids = (*ms)->Messages(f);
    ASSERT_TRUE(ids.ok()) << ids.status().ToString();
    for (Nid m : *ids) {
      auto content = (*ms)->ReadMessage(m);
      EXPECT_TRUE(content.ok()) << GetParam() << " " << NidText(m) << ": " << content.status().ToString();
      ++read;
    }
  }
  EXPECT_GT(read, 0u);
  // A new message in every normal folder that already holds messages, with Outlook's columns.
  std::vector<Nid> added;
  for (Nid f : folders) {
    if ((*ms)->Folder(f)->is_search || (*ms)->Folder(f)->content_count == 0) continue;
    MessageContent m;
    m.props[TagId(kSubject)] = PropValue::String("added to an Outlook folder");
    auto nid = (*ms)->AddMessage(f, m);
    ASSERT_TRUE(nid.ok()) << nid.status().ToString();
    added.push_back(*nid);
  }
  ASSERT_TRUE((*ms)->Commit().ok());
  std::vector<std::string> problems;
  auto tree = CheckFolderTree(**db, &problems);
  EXPECT_EQ(CheckFolderContents(**db, tree, &problems), read + added.size());
  for (auto& p : problems) {
    // Outlook's own rows may differ from its PCs (values it changed on one side only); ours may not.
    bool ours =
        std::any_of(added.begin(), added.end(), [&](Nid n) { return p.rfind(NidText(n) + ":", 0) == 0; });
    if (ours || p.find("contents row differs") == std::string::npos) ADD_FAILURE() << GetParam() << ": " << p;
  }
  CheckReport report = CheckFile(*file);
  EXPECT_TRUE(report.ok()) << report.Summary();
}

INSTANTIATE_TEST_SUITE_P(Outlook, OutlookFileTest,
                         ::testing::Values("pstsdk-sample1.pst", "pstsdk-submessage.pst",
                                           "rubymsg-attachAndInline.pst"),
                         [](const auto& param_info) {
                           std::string n = param_info.param;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
}  // namespace velmora::pst
