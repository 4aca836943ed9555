// The commit protocol under failure: every write and every sync of a commit fails in turn, the unsynced
// bytes are dropped as a power cut would, and the file must reopen holding exactly the last committed
// state and pass the check. The invariants [C1] - [C7] are listed in node_database.h.
#include <gtest/gtest.h>

#include <random>

#include "pst/ndb/test_util.h"
#include "pst/ndb/testing/fault_file.h"

namespace velmora::pst {
namespace {

using testing::ExpectMatchesModel;
using testing::Model;
using testing::ModelNode;
using testing::Pattern;

Result<Bid> WriteBytes(NodeStore& store, const std::vector<uint8_t>& bytes) {
  std::vector<Bid> blocks;
  size_t off = 0;
  do {
    size_t n = std::min(kMaxBlockData, bytes.size() - off);
    PST_ASSIGN_OR_RETURN(Bid b, store.WriteDataBlock(std::span<const uint8_t>(bytes.data() + off, n)));
    blocks.push_back(b);
    off += n;
  } while (off < bytes.size());
  return store.WriteDataTree(blocks);
}

Status PutNode(NodeStore& store, Model& model, Nid nid, ModelNode node) {
  NodeEntry e{nid, 0, 0, node.parent};
  if (!node.data.empty()) {
    PST_ASSIGN_OR_RETURN(e.data, WriteBytes(store, node.data));
  }
  if (!node.subnodes.empty()) {
    std::vector<SubnodeEntry> subs;
    for (const auto& [snid, bytes] : node.subnodes) {
      PST_ASSIGN_OR_RETURN(Bid d, WriteBytes(store, bytes));
      subs.push_back({snid, d, 0});
    }
    PST_ASSIGN_OR_RETURN(e.sub, store.WriteSubnodeTree(subs));
  }
  PST_RETURN_IF_ERROR(store.PutNode(e));
  model[nid] = std::move(node);
  return Status::Ok();
}

// The committed starting state: 60 nodes, some with subnodes.
Status FirstState(NodeStore& store, Model& model) {
  for (uint32_t i = 0; i < 60; ++i) {
    ModelNode node{Pattern(200 + i * 37, i), kNidRootFolder, {}};
    if (i % 7 == 0) node.subnodes[MakeNid(kNidTypeAttachment, 0x401)] = Pattern(9000, i);
    PST_RETURN_IF_ERROR(PutNode(store, model, MakeNid(kNidTypeNormalMessage, 0x10001 + i), std::move(node)));
  }
  return store.Commit();
}

// The change under test: deletes (freed blocks and pages, [C2] [C3]), replaces, new nodes, and one large
// tree that grows the file by whole sections [C6].
Status SecondState(NodeStore& store, Model& model) {
  for (uint32_t i = 0; i < 60; i += 3) {
    Nid nid = MakeNid(kNidTypeNormalMessage, 0x10001 + i);
    PST_RETURN_IF_ERROR(store.DeleteNode(nid));
    model.erase(nid);
  }
  for (uint32_t i = 1; i < 60; i += 6)
    PST_RETURN_IF_ERROR(PutNode(store, model, MakeNid(kNidTypeNormalMessage, 0x10001 + i),
                                {Pattern(5000, 1000 + i), kNidRootFolder, {}}));
  for (uint32_t i = 0; i < 20; ++i)
    PST_RETURN_IF_ERROR(PutNode(store, model, MakeNid(kNidTypeNormalMessage, 0x10100 + i),
                                {Pattern(100 + i * 300, 2000 + i), kNidRootFolder, {}}));
  PST_RETURN_IF_ERROR(PutNode(store, model, MakeNid(kNidTypeNormalMessage, 0x10200),
                              {Pattern(300000, 77), kNidRootFolder, {}}));
  return store.Commit();
}

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto file = std::make_shared<FaultInjectingFile>();
    auto db = NodeDatabase::Create(file);
    ASSERT_TRUE(db.ok());
    ASSERT_TRUE(FirstState(**db, first_).ok());
    first_image_ = file->durable();
    second_ = first_;
    // A clean run of the change, to count its writes and syncs.
    auto probe = std::make_shared<FaultInjectingFile>(first_image_);
    auto pdb = NodeDatabase::Open(probe, true);
    ASSERT_TRUE(pdb.ok());
    uint64_t w0 = probe->writes(), s0 = probe->syncs();
    ASSERT_TRUE(SecondState(**pdb, second_).ok());
    writes_ = probe->writes() - w0;
    syncs_ = probe->syncs() - s0;
    ASSERT_GT(writes_, 30u);  // blocks written one after the other reach the file as one write
    ASSERT_GE(syncs_, 3u);    // invalidate header, maps, header
  }

  // Opens the image that survived, checks it, and compares it with `expected`.
  void ExpectSurvivor(const std::vector<uint8_t>& image, const Model& expected, const std::string& what) {
    SCOPED_TRACE(what);
    auto file = std::make_shared<MemoryFile>(image);
    CheckReport report = CheckFile(*file);
    EXPECT_TRUE(report.ok()) << report.Summary();
    auto db = NodeDatabase::Open(file, true);
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    ExpectMatchesModel(**db, expected);
    // The survivor is writable: the next commit repairs whatever the interrupted one left.
    ASSERT_TRUE((*db)->PutNode({0x42, 0, 0, 0}).ok());
    ASSERT_TRUE((*db)->Commit().ok());
    CheckReport after = CheckFile(*file);
    EXPECT_TRUE(after.ok()) << after.Summary();
    EXPECT_TRUE(after.notes.empty()) << after.Summary();
  }

  // Runs the change with a fault armed; returns the file after the failure.
  std::shared_ptr<FaultInjectingFile> RunWithFault(const std::function<void(FaultInjectingFile&)>& arm,
                                                   Status* error) {
    auto file = std::make_shared<FaultInjectingFile>(first_image_);
    auto db = NodeDatabase::Open(file, true);
    EXPECT_TRUE(db.ok());
    if (!db.ok()) return file;
    arm(*file);
    Model scratch = first_;
    *error = SecondState(**db, scratch);
    if (!error->ok()) {
      // [C5] The database stays failed: every later call gives the same error, writes nothing more.
      uint64_t writes = file->writes();
      EXPECT_EQ((*db)->Commit().code(), error->code());
      EXPECT_EQ((*db)->WriteDataBlock(std::vector<uint8_t>(8)).status().code(), error->code());
      EXPECT_EQ((*db)->FindNode(0x21).status().code(), error->code());
      EXPECT_EQ(file->writes(), writes);
    }
    return file;
  }

  Model first_, second_;
  std::vector<uint8_t> first_image_;
  uint64_t writes_ = 0, syncs_ = 0;
};

// [C1] [C4] A failed write (which lands torn) at any point, then a crash: the previous commit survives.
TEST_F(FaultInjectionTest, EveryWriteFailingThenCrashLeavesTheLastCommit) {
  for (uint64_t n = 1; n <= writes_; ++n) {
    Status error;
    auto file = RunWithFault([&](FaultInjectingFile& f) { f.FailWrite(n); }, &error);
    ASSERT_FALSE(error.ok()) << "write " << n;
    file->Crash();
    ExpectSurvivor(file->durable(), first_, "write " + std::to_string(n));
    if (HasFailure()) return;
  }
}

// [C4] A failed sync at any point, then a crash: the previous commit survives.
TEST_F(FaultInjectionTest, EverySyncFailingThenCrashLeavesTheLastCommit) {
  for (uint64_t n = 1; n <= syncs_; ++n) {
    Status error;
    auto file = RunWithFault([&](FaultInjectingFile& f) { f.FailSync(n, /*sticky=*/true); }, &error);
    ASSERT_FALSE(error.ok()) << "sync " << n;
    file->Crash();
    ExpectSurvivor(file->durable(), first_, "sync " + std::to_string(n));
    if (HasFailure()) return;
  }
}

// [C4] Once Commit returns, a crash keeps the new state.
TEST_F(FaultInjectionTest, ACrashAfterCommitKeepsTheNewState) {
  Status error;
  auto file = RunWithFault([](FaultInjectingFile&) {}, &error);
  ASSERT_TRUE(error.ok()) << error.ToString();
  file->Crash();
  ExpectSurvivor(file->durable(), second_, "after commit");
}

// [C3] A crash between the invalidating header and the new one: maps half rewritten, the header says
// they are not valid; the file opens as the previous commit, and the next commit makes the maps valid.
TEST_F(FaultInjectionTest, CrashInsideTheMapUpdateLeavesMapsMarkedInvalid) {
  Status error;
  // The commit's last two syncs are the maps' and the new header's.
  auto file = RunWithFault([&](FaultInjectingFile& f) { f.FailSync(syncs_ - 1); }, &error);
  ASSERT_FALSE(error.ok());
  file->Crash();
  auto image = file->durable();
  auto header = ParseHeader(image);
  ASSERT_TRUE(header.ok());
  EXPECT_EQ(header->amap_valid, kAMapInvalid);
  ExpectSurvivor(image, first_, "between the headers");
}

// [C5] [C6] A full disk while the file grows: the error is kNoSpace, the previous commit survives.
TEST_F(FaultInjectionTest, DiskFullWhileGrowing) {
  Status error;
  auto file =
      RunWithFault([&](FaultInjectingFile& f) { f.SetCapacity(first_image_.size() + 100000); }, &error);
  ASSERT_EQ(error.code(), Code::kNoSpace) << error.ToString();
  file->Crash();
  ExpectSurvivor(file->durable(), first_, "disk full");
}

// Without a crash, what a failed commit left on disk still opens, as one state or the other.
TEST_F(FaultInjectionTest, FailedCommitWithoutCrashStillOpens) {
  for (uint64_t n = 1; n <= syncs_; ++n) {
    Status error;
    auto file = RunWithFault([&](FaultInjectingFile& f) { f.FailSync(n, true); }, &error);
    auto mem = std::make_shared<MemoryFile>(file->current());
    auto db = NodeDatabase::Open(mem, false);
    ASSERT_TRUE(db.ok()) << "sync " << n << ": " << db.status().ToString();
    size_t nodes = 0;
    Status walk = (*db)->ForEachNode([&](const NodeEntry&) {
      ++nodes;
      return Status::Ok();
    });
    ASSERT_TRUE(walk.ok()) << "sync " << n << ": " << walk.ToString();
    EXPECT_TRUE(nodes == first_.size() || nodes == second_.size());
  }
}

}  // namespace
}  // namespace velmora::pst
