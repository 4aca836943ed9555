// Messages in real PST files: the Outlook-made samples (read, sizes, contents rows against Outlook's own) and
// messages this writer puts into a NodeDatabase, checked at the node-database level and read back after a
// reopen. The sample tests skip when the shared folder is absent.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>

#include "pst/ltp/le_bytes.h"
#include "pst/messaging/message/attachment_writer.h"
#include "pst/messaging/message/contents_row.h"
#include "pst/messaging/message/held_bytes.h"
#include "pst/messaging/message/message_size.h"
#include "pst/messaging/message/message_test_support.h"
#include "pst/ndb/check.h"
#include "pst/ndb/node_database.h"

namespace velmora::pst::testing {
namespace {

using namespace msgtags;

std::string SamplePath(const std::string& name) {
  const char* env = std::getenv("VELMORA_SHARED");
  std::string path = std::string(env && *env ? env : "/work/shared") + "/sample-pst/" + name;
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? path : "";
}

std::vector<SubnodeEntry> Subnodes(NodeStore& store, Bid sub) {
  if (!sub) return {};
  auto s = store.ReadSubnodes(sub);
  EXPECT_TRUE(s.ok()) << s.status().ToString();
  return s.ok() ? *s : std::vector<SubnodeEntry>();
}

// Checks both size rules at every message level below (data, sub); counts the levels and attachments seen.
void CheckSizes(NodeStore& store, Bid data, Bid sub, int* levels, int* attachments) {
  const auto subs = Subnodes(store, sub);
  auto pc = ReadPropertyContext(store, data, subs);
  ASSERT_TRUE(pc.ok()) << pc.status().ToString();
  auto held = HeldBytes(store, data, sub);
  ASSERT_TRUE(held.ok());
  EXPECT_EQ(IntProp(*pc, kMessageSize), static_cast<int32_t>(*held));
  ++*levels;
  for (const SubnodeEntry& a : subs) {
    if (NidTypeOf(a.nid) != kNidTypeAttachment) continue;
    const auto own = Subnodes(store, a.sub);
    auto props = ReadPropertyContext(store, a.data, own);
    ASSERT_TRUE(props.ok());
    uint64_t object_size = 0;
    auto object = props->find(TagId(kAttachDataObject));
    if (object != props->end() && object->second.type == kPtypObject) {
      object_size = le::Get32(object->second.bytes, 4);
      for (const SubnodeEntry& inner : own)
        if (inner.nid == le::Get32(object->second.bytes, 0))
          CheckSizes(store, inner.data, inner.sub, levels, attachments);
    }
    EXPECT_EQ(IntProp(*props, kAttachSize), static_cast<int32_t>(CountedSize(*props, object_size)));
    ++*attachments;
  }
}

// ---- The Outlook-made samples.

class OutlookSample : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string path = SamplePath(GetParam());
    if (path.empty()) GTEST_SKIP() << "VELMORA_SHARED sample-pst/" << GetParam() << " not available";
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    auto db = NodeDatabase::Open(std::make_shared<MemoryFile>(std::move(bytes)), false);
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    db_ = std::move(db).value();
    ASSERT_TRUE(db_->ForEachNode([this](const NodeEntry& e) {
                     const uint8_t type = NidTypeOf(e.nid);
                     if (type == kNidTypeNormalMessage || type == kNidTypeAssocMessage)
                       messages_.push_back(e);
                     return Status::Ok();
                   })
                    .ok());
  }
  std::unique_ptr<NodeDatabase> db_;
  std::vector<NodeEntry> messages_;
};

TEST_P(OutlookSample, EveryMessageReads) {
  ASSERT_FALSE(messages_.empty());
  for (const NodeEntry& e : messages_) {
    auto m = ReadMessage(*db_, e.nid);
    EXPECT_TRUE(m.ok()) << std::hex << e.nid << ": " << m.status().ToString();
  }
}

TEST_P(OutlookSample, MailSizesFollowOurRulesToTheByte) {
  // Items with a recipient or attachment table: Outlook's mail and appointments. (Its contacts, distribution
  // lists and free/busy items store the sum of their property sizes instead; we write none of those.)
  int levels = 0, attachments = 0;
  for (const NodeEntry& e : messages_) {
    auto subs = Subnodes(*db_, e.sub);
    if (std::any_of(subs.begin(), subs.end(),
                    [](auto& s) { return s.nid == kNidRecipientTable || s.nid == kNidAttachmentTable; }))
      CheckSizes(*db_, e.data, e.sub, &levels, &attachments);
  }
  const std::map<std::string, std::pair<int, int>> expected = {{"rubymsg-attachAndInline.pst", {1, 2}},
                                                               {"pstsdk-sample1.pst", {1, 1}},
                                                               {"pstsdk-submessage.pst", {2, 1}},
                                                               {"javalibpst-dist-list.pst", {3, 2}}};
  EXPECT_EQ(std::make_pair(levels, attachments), expected.at(GetParam()));
}

TEST_P(OutlookSample, OurContentsRowsAreOutlooksRows) {
  for (const NodeEntry& e : messages_) {
    if (NidTypeOf(e.nid) != kNidTypeNormalMessage) continue;
    auto pc = ReadPropertyContext(*db_, e.data, Subnodes(*db_, e.sub));
    ASSERT_TRUE(pc.ok());
    auto folder_table = db_->FindNode(MakeNid(kNidTypeContentsTable, NidIndexOf(e.parent)));
    ASSERT_TRUE(folder_table.ok() && folder_table->has_value());
    auto table = ReadTableContext(*db_, (*folder_table)->data, Subnodes(*db_, (*folder_table)->sub));
    ASSERT_TRUE(table.ok()) << table.status().ToString();
    auto theirs =
        std::find_if(table->rows.begin(), table->rows.end(), [&](auto& r) { return r.row_id == e.nid; });
    ASSERT_NE(theirs, table->rows.end());
    auto mine = MakeContentsRow(e.nid, *pc, table->columns);
    ASSERT_TRUE(mine.ok());
    for (const auto& [tag, cell] : theirs->cells) {
      // Not ours to match: the row bookkeeping; PidTagConversationId (0x3013), which MAPI computes and
      // Outlook keeps in rows only; PidTagMessageSize, which Outlook's rows may hold from before a later
      // change.
      if (tag == kTagLtpRowId || tag == kTagLtpRowVer || tag == 0x30130102 || tag == kMessageSize) continue;
      auto m = mine->cells.find(tag);
      ASSERT_NE(m, mine->cells.end()) << std::hex << e.nid << " column " << tag;
      EXPECT_EQ(m->second.bytes, cell.bytes) << std::hex << e.nid << " column " << tag;
    }
    for (const auto& [tag, cell] : mine->cells) EXPECT_TRUE(theirs->cells.count(tag)) << std::hex << tag;
  }
}

TEST_P(OutlookSample, OurAttachmentRowsAreOutlooksRows) {
  int rows = 0;
  for (const NodeEntry& e : messages_) {
    const auto subs = Subnodes(*db_, e.sub);
    auto at = std::find_if(subs.begin(), subs.end(), [](auto& s) { return s.nid == kNidAttachmentTable; });
    if (at == subs.end()) continue;
    auto table = ReadTableContext(*db_, at->data, Subnodes(*db_, at->sub));
    ASSERT_TRUE(table.ok()) << table.status().ToString();
    for (const TableRow& theirs : table->rows) {
      auto pc_entry = std::find_if(subs.begin(), subs.end(), [&](auto& s) { return s.nid == theirs.row_id; });
      ASSERT_NE(pc_entry, subs.end());
      auto pc = ReadPropertyContext(*db_, pc_entry->data, Subnodes(*db_, pc_entry->sub));
      ASSERT_TRUE(pc.ok());
      TableRow mine = MakeAttachmentRow(theirs.row_id, *pc, table->columns);
      TableRow outlook = theirs;
      outlook.cells.erase(kTagLtpRowId);
      outlook.cells.erase(kTagLtpRowVer);
      ASSERT_EQ(mine.cells.size(), outlook.cells.size()) << std::hex << theirs.row_id;
      for (const auto& [tag, cell] : outlook.cells) {
        ASSERT_TRUE(mine.cells.count(tag)) << std::hex << tag;
        EXPECT_EQ(mine.cells.at(tag).bytes, cell.bytes) << std::hex << tag;
      }
      ++rows;
    }
  }
  const std::map<std::string, int> expected = {{"rubymsg-attachAndInline.pst", 2},
                                               {"pstsdk-sample1.pst", 1},
                                               {"pstsdk-submessage.pst", 1},
                                               {"javalibpst-dist-list.pst", 2}};
  EXPECT_EQ(rows, expected.at(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Samples, OutlookSample,
                         ::testing::Values("rubymsg-attachAndInline.pst", "pstsdk-sample1.pst",
                                           "pstsdk-submessage.pst", "javalibpst-dist-list.pst"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                           std::string n = param.param;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

class OutlookMessage : public ::testing::Test {
 protected:
  Result<MessageContent> Read(const std::string& sample, Nid nid) {
    std::string path = SamplePath(sample);
    if (path.empty()) return Status::NotFound("sample");
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    PST_ASSIGN_OR_RETURN(db_, NodeDatabase::Open(std::make_shared<MemoryFile>(std::move(bytes)), false));
    return ReadMessage(*db_, nid);
  }
  std::unique_ptr<NodeDatabase> db_;
};

TEST_F(OutlookMessage, AttachmentAndInlineImage) {
  if (SamplePath("rubymsg-attachAndInline.pst").empty()) GTEST_SKIP() << "VELMORA_SHARED not available";
  auto m = Read("rubymsg-attachAndInline.pst", 0x200024);
  ASSERT_TRUE(m.ok()) << m.status().ToString();
  EXPECT_EQ(IntProp(m->props, kMessageFlags), 0x19);
  EXPECT_EQ(StringProp(m->props, kConversationTopic), "Attach and inline");
  ASSERT_EQ(m->recipients.size(), 1u);
  EXPECT_EQ(IntProp(m->recipients[0].props, kRecipientType), kRecipientTo);
  EXPECT_EQ(StringProp(m->recipients[0].props, kEmailAddress), "xmailuser@xmailserver.test");
  ASSERT_EQ(m->attachments.size(), 2u);
  EXPECT_EQ(m->attachments[0].props.at(Id(kAttachDataBinary)).Size(), 1558u);
  EXPECT_EQ(m->attachments[1].props.at(Id(kAttachDataBinary)).Size(), 809u);
  EXPECT_EQ(StringProp(m->attachments[1].props, 0x3712001F), "image001.png@01D78380.EF6DC500");
  auto png = m->attachments[0].props.at(Id(kAttachDataBinary)).Load();
  ASSERT_TRUE(png.ok());
  EXPECT_EQ(std::string(png->begin() + 1, png->begin() + 4), "PNG");
}

TEST_F(OutlookMessage, EmbeddedMessage) {
  if (SamplePath("pstsdk-submessage.pst").empty()) GTEST_SKIP() << "VELMORA_SHARED not available";
  auto m = Read("pstsdk-submessage.pst", 0x200024);
  ASSERT_TRUE(m.ok()) << m.status().ToString();
  ASSERT_EQ(m->attachments.size(), 1u);
  const AttachmentContent& a = m->attachments[0];
  EXPECT_EQ(IntProp(a.props, kAttachMethod), kAttachEmbeddedMessage);
  ASSERT_TRUE(a.embedded);
  EXPECT_FALSE(a.props.count(TagId(kAttachDataObject))) << "the embedded message stands for the object";
  EXPECT_EQ(a.embedded->recipients.size(), 1u);
  EXPECT_EQ(IntProp(a.embedded->props, kMessageSize), 7816);
  EXPECT_EQ(IntProp(a.props, kAttachSize), 11494);
}

TEST_F(OutlookMessage, AppointmentWithTwoExceptions) {
  if (SamplePath("javalibpst-dist-list.pst").empty()) GTEST_SKIP() << "VELMORA_SHARED not available";
  auto m = Read("javalibpst-dist-list.pst", 0x2000c4);
  ASSERT_TRUE(m.ok()) << m.status().ToString();
  ASSERT_EQ(m->attachments.size(), 2u);
  EXPECT_EQ(IntProp(m->attachments[0].props, kAttachSize), 8078);
  EXPECT_EQ(IntProp(m->attachments[1].props, kAttachSize), 8043);
  ASSERT_TRUE(m->attachments[0].embedded && m->attachments[1].embedded);
  EXPECT_EQ(IntProp(m->attachments[0].embedded->props, kMessageSize), 4500);
  EXPECT_EQ(IntProp(m->attachments[1].embedded->props, kMessageSize), 4465);
}

// ---- Our messages in a real node database.

TEST(MessageInNodeDatabase, WrittenCommittedCheckedReopenedAndReadBack) {
  auto file = std::make_shared<MemoryFile>();
  auto created = NodeDatabase::Create(file);
  ASSERT_TRUE(created.ok()) << created.status().ToString();
  auto db = std::move(created).value();
  FakeNameMap names;

  // Recipients enough for a row matrix in its own subnode, attachments of every size class (one above the
  // 8.3 MB an XBLOCK can address), a body in a subnode, and embedded messages three deep.
  MessageContent m = Mail("stored for real – 真");
  m.props[0x1000] = PropValue::String(std::string(30000, 'b'));
  for (int i = 0; i < 120; ++i)
    m.recipients.push_back(Recipient("R" + std::to_string(i), "r@x.org", 1 + i % 3));
  constexpr uint64_t kBig = 9u << 20;
  auto big = std::make_shared<PatternSource>(kBig, 5);
  m.attachments.push_back(FileAttachment("big.bin", PropValue::Stream(kPtypBinary, big)));
  for (int i = 0; i < 30; ++i)
    m.attachments.push_back(
        FileAttachment("a" + std::to_string(i), PropValue::Binary(PatternBytes(i * 701, 1))));
  MessageContent* level = &m;
  for (int d = 0; d < 3; ++d) {
    AttachmentContent a;
    a.embedded = std::make_unique<MessageContent>(Mail("depth " + std::to_string(d + 1)));
    a.embedded->recipients.push_back(Recipient("In", "in@x.org", kRecipientTo));
    level->attachments.push_back(std::move(a));
    level = level->attachments.back().embedded.get();
  }
  level->attachments.push_back(FileAttachment("deep.txt", PropValue::Binary(PatternBytes(5000, 9))));

  auto w = WriteMessage(*db, m, names.Resolver());
  ASSERT_TRUE(w.ok()) << w.status().ToString();
  auto nid = db->AllocateNid(kNidTypeNormalMessage);
  ASSERT_TRUE(nid.ok());
  ASSERT_TRUE(db->PutNode(NodeEntry{*nid, w->data, w->sub, kNidRootFolder}).ok());
  ASSERT_TRUE(db->Commit().ok());
  CheckReport report = CheckDatabase(*db);
  EXPECT_TRUE(report.ok()) << report.Summary();

  auto reopened = NodeDatabase::Open(file, false);
  ASSERT_TRUE(reopened.ok()) << reopened.status().ToString();
  auto back = ReadMessage(**reopened, *nid);
  ASSERT_TRUE(back.ok()) << back.status().ToString();
  EXPECT_TRUE(HoldsAll(back->props, m.props));
  ASSERT_EQ(back->recipients.size(), 120u);
  for (size_t i = 0; i < 120; ++i) EXPECT_TRUE(HoldsAll(back->recipients[i].props, m.recipients[i].props));
  ASSERT_EQ(back->attachments.size(), 32u);
  const PropValue& data = back->attachments[0].props.at(Id(kAttachDataBinary));
  ASSERT_EQ(data.Size(), kBig);
  std::vector<uint8_t> piece(8176 * 3 + 5);
  for (uint64_t at : {uint64_t{0}, kBig / 2 + 3, kBig - piece.size()}) {
    ASSERT_TRUE(data.stream->Read(at, piece).ok());
    for (size_t i = 0; i < piece.size(); i += 97) ASSERT_EQ(piece[i], PatternByte(at + i, 5));
  }
  for (int i = 0; i < 30; ++i)
    EXPECT_TRUE(HoldsAll(back->attachments[1 + i].props, m.attachments[1 + i].props));
  const MessageContent* have = back->attachments[31].embedded.get();
  for (int d = 1; d <= 3; ++d) {
    ASSERT_NE(have, nullptr);
    EXPECT_EQ(StringProp(have->props, kSubject), "depth " + std::to_string(d));
    have = have->attachments.empty() ? nullptr : have->attachments[0].embedded.get();
  }
  int levels = 0, attachments = 0;
  auto entry = (*reopened)->FindNode(*nid);
  CheckSizes(**reopened, (*entry)->data, (*entry)->sub, &levels, &attachments);
  EXPECT_EQ(levels, 4);
  EXPECT_EQ(attachments, 32 + 3);
}

// Peak resident memory in KiB since the last reset (Linux /proc); nullopt where that is not available.
std::optional<uint64_t> PeakRssKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6));
  return std::nullopt;
}
bool ResetPeakRss() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";  // 5: reset the peak resident set size to the current one
  clear.flush();
  return clear.good();
}

TEST(MessageInNodeDatabase, FiftyMegabytesGoToAFileWithoutPassingThroughMemory) {
  char path[] = "/tmp/velmora-message-XXXXXX";
  int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  struct Remove {
    const char* p;
    ~Remove() { std::remove(p); }
  } remove_at_end{path};
  auto opened = OpenPosixFile(path, OpenMode::kCreateOrTruncate);
  ASSERT_TRUE(opened.ok());
  std::shared_ptr<File> file = std::move(opened).value();
  auto db = NodeDatabase::Create(file);
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  FakeNameMap names;
  if (!ResetPeakRss() || !PeakRssKib()) GTEST_SKIP() << "no peak-memory figures from /proc on this system";
  const uint64_t before = *PeakRssKib();

  constexpr uint64_t kSize = 50ull << 20;
  auto source = std::make_shared<PatternSource>(kSize, 11);
  MessageContent m = Mail("fifty megabytes");
  m.attachments.push_back(FileAttachment("big.bin", PropValue::Stream(kPtypBinary, source)));
  auto w = WriteMessage(**db, m, names.Resolver());
  ASSERT_TRUE(w.ok()) << w.status().ToString();
  ASSERT_TRUE(
      (*db)->PutNode(NodeEntry{MakeNid(kNidTypeNormalMessage, 0x400), w->data, w->sub, kNidRootFolder}).ok());
  ASSERT_TRUE((*db)->Commit().ok());
  const uint64_t growth_kib = *PeakRssKib() - before;
  RecordProperty("peak_growth_kib", static_cast<int>(growth_kib));
  EXPECT_LT(growth_kib, 16u * 1024) << "writing 50 MB must not hold it in memory";
  EXPECT_EQ(source->bytes_read(), kSize);
  EXPECT_GE(w->size, static_cast<int32_t>(kSize));
}

}  // namespace
}  // namespace velmora::pst::testing
