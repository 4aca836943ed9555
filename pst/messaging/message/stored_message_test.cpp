// Messages in real PST files: the Outlook-made samples (every message reads, both size rules give Outlook's
// numbers, our table rows are Outlook's rows) and messages written into a NodeDatabase, checked at the node
// database level and read back after a reopen. The sample tests skip when the shared folder is absent.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fsutil/testing/temp_tree.h"
#include "pst/content/table_templates.h"
#include "pst/ltp/le_bytes.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/message/attachment_writer.h"
#include "pst/messaging/message/contents_row.h"
#include "pst/messaging/message/held_bytes.h"
#include "pst/messaging/message/message_size.h"
#include "pst/messaging/message/message_test_support.h"
#include "pst/ndb/check.h"
#include "pst/ndb/node_database.h"

namespace velmora::pst::testing {
namespace {

std::string SamplePath(const std::string& name) {
  const char* env = std::getenv("VELMORA_SHARED");
  std::string path = std::string(env && *env ? env : "/work/shared") + "/sample-pst/" + name;
  std::error_code ec;
  return std::filesystem::exists(path, ec) ? path : "";
}

Result<std::unique_ptr<NodeDatabase>> OpenSample(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  return NodeDatabase::Open(std::make_shared<MemoryFile>(std::move(bytes)), false);
}

// Both size rules at every message level below (data, sub); counts the levels and attachments checked.
void CheckSizes(NodeStore& store, Bid data, Bid sub, int* levels, int* attachments) {
  const auto subs = Subnodes(store, sub);
  auto pc = ReadPropertyContext(store, data, subs);
  auto held = HeldBytes(store, data, sub);
  ASSERT_TRUE(pc.ok() && held.ok());
  EXPECT_EQ(IntProp(*pc, kMessageSize), static_cast<int32_t>(*held))
      << StringProp(*pc, kSubject).value_or("");
  ++*levels;
  for (const SubnodeEntry& a : subs) {
    if (NidTypeOf(a.nid) != kNidTypeAttachment) continue;
    const auto own = Subnodes(store, a.sub);
    auto props = ReadPropertyContext(store, a.data, own);
    ASSERT_TRUE(props.ok());
    uint64_t object_size = 0;
    if (auto o = props->find(TagId(kAttachDataObject)); o != props->end() && o->second.type == kPtypObject) {
      object_size = le::Get32(o->second.bytes, 4);
      const SubnodeEntry* inner = FindSubnode(own, le::Get32(o->second.bytes, 0));
      ASSERT_NE(inner, nullptr);
      CheckSizes(store, inner->data, inner->sub, levels, attachments);
    }
    EXPECT_EQ(IntProp(*props, kAttachSize), static_cast<int32_t>(CountedSize(*props, object_size)));
    ++*attachments;
  }
}

// Our row for Outlook's columns against Outlook's row, bookkeeping and the columns in `skip` aside.
void ExpectSameRow(const TableRow& mine, const TableRow& theirs, std::initializer_list<PropTag> skip) {
  auto counted = [&](PropTag t) {
    return t != kTagLtpRowId && t != kTagLtpRowVer && std::find(skip.begin(), skip.end(), t) == skip.end();
  };
  for (const auto& [tag, cell] : theirs.cells) {
    if (!counted(tag)) continue;
    auto m = mine.cells.find(tag);
    ASSERT_NE(m, mine.cells.end()) << std::hex << theirs.row_id << " column " << tag;
    EXPECT_EQ(m->second.bytes, cell.bytes) << std::hex << theirs.row_id << " column " << tag;
  }
  for (const auto& [tag, cell] : mine.cells)
    EXPECT_TRUE(!counted(tag) || theirs.cells.count(tag)) << std::hex << theirs.row_id << " column " << tag;
}

class OutlookSample : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string path = SamplePath(GetParam());
    if (path.empty()) GTEST_SKIP() << "VELMORA_SHARED sample-pst/" << GetParam() << " not available";
    auto db = OpenSample(path);
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

TEST_P(OutlookSample, EveryMessageReadsAndMailSizesFollowOurRulesToTheByte) {
  ASSERT_FALSE(messages_.empty());
  int levels = 0, attachments = 0;
  for (const NodeEntry& e : messages_) {
    auto m = ReadMessage(*db_, e.nid);
    EXPECT_TRUE(m.ok()) << std::hex << e.nid << ": " << m.status().ToString();
    // Items with a recipient or attachment table: mail and appointments. (Outlook's contacts, distribution
    // lists and free/busy items store the sum of their property sizes instead; we write none of those.)
    const auto subs = Subnodes(*db_, e.sub);
    if (FindSubnode(subs, kNidRecipientTable) || FindSubnode(subs, kNidAttachmentTable))
      CheckSizes(*db_, e.data, e.sub, &levels, &attachments);
  }
  const std::map<std::string, std::pair<int, int>> expected = {{"rubymsg-attachAndInline.pst", {1, 2}},
                                                               {"pstsdk-sample1.pst", {1, 1}},
                                                               {"pstsdk-submessage.pst", {2, 1}},
                                                               {"javalibpst-dist-list.pst", {3, 2}}};
  EXPECT_EQ(std::make_pair(levels, attachments), expected.at(GetParam()));
}

TEST_P(OutlookSample, OurContentsAndAttachmentRowsAreOutlooksRows) {
  for (const NodeEntry& e : messages_) {
    if (NidTypeOf(e.nid) != kNidTypeNormalMessage) continue;
    const auto subs = Subnodes(*db_, e.sub);
    auto pc = ReadPropertyContext(*db_, e.data, subs);
    auto folder_table = db_->FindNode(MakeNid(kNidTypeContentsTable, NidIndexOf(e.parent)));
    ASSERT_TRUE(pc.ok() && folder_table.ok() && folder_table->has_value());
    auto contents = ReadTableContext(*db_, (*folder_table)->data, Subnodes(*db_, (*folder_table)->sub));
    ASSERT_TRUE(contents.ok()) << contents.status().ToString();
    auto theirs = std::find_if(contents->rows.begin(), contents->rows.end(),
                               [&](auto& r) { return r.row_id == e.nid; });
    ASSERT_NE(theirs, contents->rows.end());
    auto mine = MakeContentsRow(e.nid, *pc, contents->columns);
    ASSERT_TRUE(mine.ok());
    // PidTagConversationId (0x3013) is computed by MAPI and kept in rows only; Outlook's rows may hold a
    // PidTagMessageSize from before a later change of the message.
    ExpectSameRow(*mine, *theirs, {kConversationId, kMessageSize});

    const SubnodeEntry* at = FindSubnode(subs, kNidAttachmentTable);
    if (!at) continue;
    auto attachments = ReadTableContext(*db_, at->data, Subnodes(*db_, at->sub));
    ASSERT_TRUE(attachments.ok());
    for (const TableRow& row : attachments->rows) {
      const SubnodeEntry* a = FindSubnode(subs, row.row_id);
      ASSERT_NE(a, nullptr);
      auto props = ReadPropertyContext(*db_, a->data, Subnodes(*db_, a->sub));
      ASSERT_TRUE(props.ok());
      ExpectSameRow(MakeAttachmentRow(row.row_id, *props, attachments->columns), row, {});
    }
  }
}

// Column order fixes where each cell sits in a row, so the tables each message gets start from the templates
// in Outlook's order. A message's attachment table starts with the template's columns and holds all of ours;
// Outlook 2010 (the pstsdk files) gives exactly our columns in our order, later versions add 0x3714 last and
// a column of their own. A recipient table starts with the recipient template's columns.
TEST_P(OutlookSample, MessageTablesHaveTheTemplateColumnsInOutlooksOrder) {
  const bool outlook2010 = std::string(GetParam()).rfind("pstsdk-", 0) == 0;
  auto starts_with = [](const std::vector<PropTag>& columns, const std::vector<PropTag>& head) {
    return columns.size() >= head.size() && std::equal(head.begin(), head.end(), columns.begin());
  };
  int tables = 0;
  for (const NodeEntry& e : messages_) {
    const auto subs = Subnodes(*db_, e.sub);
    if (const SubnodeEntry* at = FindSubnode(subs, kNidAttachmentTable)) {
      auto table = ReadTableContext(*db_, at->data, Subnodes(*db_, at->sub));
      ASSERT_TRUE(table.ok());
      const auto& ours = templates::AttachmentTableColumns();
      EXPECT_TRUE(starts_with(table->columns, templates::AttachmentColumns())) << std::hex << e.nid;
      for (PropTag column : ours)
        EXPECT_NE(std::find(table->columns.begin(), table->columns.end(), column), table->columns.end())
            << std::hex << e.nid << " lacks " << column;
      if (outlook2010) {
        EXPECT_EQ(table->columns, ours) << std::hex << e.nid;
      }
      ++tables;
    }
    if (const SubnodeEntry* rt = FindSubnode(subs, kNidRecipientTable)) {
      auto table = ReadTableContext(*db_, rt->data, Subnodes(*db_, rt->sub));
      ASSERT_TRUE(table.ok());
      EXPECT_TRUE(starts_with(table->columns, templates::RecipientColumns())) << std::hex << e.nid;
      ++tables;
    }
  }
  EXPECT_GT(tables, 0);
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

TEST(MessageInNodeDatabase, WrittenCommittedCheckedReopenedAndReadBack) {
  auto file = std::make_shared<MemoryFile>();
  auto db = NodeDatabase::Create(file);
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  FakeNameMap names;
  // A recipient row matrix in its own subnode, attachments of many sizes, a body in a subnode, more
  // properties than one BTH leaf holds, and embedded messages three deep.
  MessageContent m = Mail("stored for real – 真");
  m.props[0x1000] = PropValue::String(std::string(30000, 'b'));
  for (uint16_t id = 0x6800; id < 0x6800 + 500; ++id) m.props[id] = PropValue::Int32(id);
  // A PC heap of several blocks: its size is known only once every value has its place.
  for (uint16_t id = 0x6A00; id < 0x6A00 + 40; ++id) m.props[id] = PropValue::String(std::string(300, 's'));
  for (int i = 0; i < 120; ++i)
    m.recipients.push_back(Recipient("R" + std::to_string(i), "r@x.org", 1 + i % 3));
  for (int i = 0; i < 30; ++i)
    m.attachments.push_back(
        FileAttachment("a" + std::to_string(i), PropValue::Binary(PatternBytes(i * 701, 1))));
  MessageContent* level = &m;
  for (int d = 1; d <= 3; ++d) {
    AttachmentContent a;
    a.embedded = std::make_unique<MessageContent>(Mail("depth " + std::to_string(d)));
    a.embedded->recipients.push_back(Recipient("In", "in@x.org", kRecipientTo));
    level->attachments.push_back(std::move(a));
    level = level->attachments.back().embedded.get();
  }
  level->attachments.push_back(FileAttachment("deep.txt", PropValue::Binary(PatternBytes(5000, 9))));

  auto w = WriteMessage(**db, m, names.Resolver());
  ASSERT_TRUE(w.ok()) << w.status().ToString();
  const Nid nid = MakeNid(kNidTypeNormalMessage, 0x400);
  ASSERT_TRUE((*db)->PutNode(NodeEntry{nid, w->data, w->sub, kNidRootFolder}).ok());
  ASSERT_TRUE((*db)->Commit().ok());
  CheckReport report = CheckDatabase(**db);
  EXPECT_TRUE(report.ok()) << report.Summary();

  auto reopened = NodeDatabase::Open(file, false);
  ASSERT_TRUE(reopened.ok()) << reopened.status().ToString();
  auto back = ReadMessage(**reopened, nid);
  ASSERT_TRUE(back.ok()) << back.status().ToString();
  EXPECT_TRUE(HoldsAll(back->props, m.props));
  ASSERT_EQ(back->recipients.size(), 120u);
  for (size_t i = 0; i < 120; ++i) EXPECT_TRUE(HoldsAll(back->recipients[i].props, m.recipients[i].props));
  ASSERT_EQ(back->attachments.size(), 31u);
  for (int i = 0; i < 30; ++i) EXPECT_TRUE(HoldsAll(back->attachments[i].props, m.attachments[i].props));
  const MessageContent* have = back->attachments[30].embedded.get();
  for (int d = 1; d <= 3 && have; ++d) {
    EXPECT_EQ(StringProp(have->props, kSubject), "depth " + std::to_string(d));
    have = have->attachments.at(0).embedded.get();
  }
  int levels = 0, attachments = 0;
  auto entry = (*reopened)->FindNode(nid);
  CheckSizes(**reopened, (*entry)->data, (*entry)->sub, &levels, &attachments);
  EXPECT_EQ(std::make_pair(levels, attachments), std::make_pair(4, 31 + 3));
}

// AddressSanitizer keeps freed memory in quarantine, so resident memory says nothing under it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryFiguresMeanSomething = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryFiguresMeanSomething = false;
#else
constexpr bool kMemoryFiguresMeanSomething = true;
#endif
#else
constexpr bool kMemoryFiguresMeanSomething = true;
#endif

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

TEST(MessageInNodeDatabase, FiftyMegabytesStreamToAFileAndBackWithoutFillingMemory) {
  fsutil::testing::TempTree tree;
  const std::string path = tree.Path("message.pst");
  auto opened = OpenDiskFile(path, OpenMode::kCreateOrTruncate);
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
  const Nid nid = MakeNid(kNidTypeNormalMessage, 0x400);
  ASSERT_TRUE((*db)->PutNode(NodeEntry{nid, w->data, w->sub, kNidRootFolder}).ok());
  ASSERT_TRUE((*db)->Commit().ok());
  EXPECT_LE(source->largest_read(), 64u << 10) << "the data is read in pieces";
  EXPECT_EQ(source->bytes_read(), kSize) << "and once: measuring the PC for its size reads no large value";
  EXPECT_EQ(IntProp(w->row_props, kMessageSize), w->size);
  EXPECT_GT(w->size, static_cast<int32_t>(kSize));

  db->reset();
  auto reopened = NodeDatabase::Open(file, false);
  ASSERT_TRUE(reopened.ok());
  auto back = ReadMessage(**reopened, nid);
  ASSERT_TRUE(back.ok()) << back.status().ToString();
  const PropValue& data = back->attachments.at(0).props.at(Id(kAttachDataBinary));
  ASSERT_TRUE(data.stream) << "a 50 MB value comes back as a stream";
  EXPECT_EQ(IntProp(back->attachments[0].props, kAttachSize),
            static_cast<int32_t>(kSize + 14 + 14 + 4 + 4 + 4));
  std::vector<uint8_t> piece(1 << 20);
  for (uint64_t at = 0; at < kSize; at += piece.size()) {
    ASSERT_TRUE(data.stream->Read(at, piece).ok());
    for (size_t i = 0; i < piece.size(); i += 4093) ASSERT_EQ(piece[i], PatternByte(at + i, 11)) << at + i;
  }
  const uint64_t growth_kib = *PeakRssKib() - before;
  RecordProperty("peak_growth_kib", static_cast<int>(growth_kib));
  if (kMemoryFiguresMeanSomething) {
    EXPECT_LT(growth_kib, 16u * 1024) << "writing and reading 50 MB must not hold it in memory";
  }
}

}  // namespace
}  // namespace velmora::pst::testing
