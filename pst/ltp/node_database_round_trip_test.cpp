// Property and table contexts written through the real node database into a file, committed, and read back
// after the file is opened again: XBLOCK/XXBLOCK data trees, subnode trees and the lazy stream over them.
#include <gtest/gtest.h>

#include "pst/ltp/ltp_test_util.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/file.h"
#include "pst/ndb/node_database.h"

namespace velmora::pst {
namespace {

using testing::Pattern;
using testing::PatternSource;

// Stores a PC or TC as the node `nid`, its value subnodes in the node's subnode tree.
Status PutHeapNode(NodeStore& store, Nid nid, const HeapOutput& out) {
  PST_ASSIGN_OR_RETURN(Bid sub, store.WriteSubnodeTree(out.subnodes));
  return store.PutNode(NodeEntry{nid, out.data, sub, 0});
}

Result<std::vector<SubnodeEntry>> SubnodesOf(NodeStore& store, const NodeEntry& e) {
  if (e.sub == 0) return std::vector<SubnodeEntry>{};
  return store.ReadSubnodes(e.sub);
}

TEST(NodeDatabaseRoundTripTest, LargeValuesAndTablesSurviveCommitAndReopen) {
  constexpr uint64_t kStream = 9ull << 20;  // more than one XBLOCK holds: an XXBLOCK
  constexpr Nid kMessage = 0x200024;
  constexpr Nid kContents = 0x808E;
  auto file = std::make_shared<MemoryFile>();
  {
    auto db = NodeDatabase::Create(file);
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    PropertyMap props = {{0x0037, PropValue::String("Large message")},
                         {0x1000, PropValue::Stream(kPtypString, std::make_shared<PatternSource>(kStream))},
                         {0x1013, PropValue::Binary(Pattern(5000))}};
    auto pc = WritePropertyContext(**db, props);
    ASSERT_TRUE(pc.ok()) << pc.status().ToString();
    ASSERT_TRUE(PutHeapNode(**db, kMessage, *pc).ok());

    Table table{{kTagLtpRowId, kTagLtpRowVer, 0x0037001F, 0x0E070003}, {}};
    for (uint32_t i = 0; i < 5000; ++i) {
      TableRow row{0x200004 + 0x20 * i, {{0x0E070003, PropValue::Int32(static_cast<int32_t>(i))}}};
      if (i % 10 == 0) row.cells[0x0037001F] = PropValue::String("row " + std::to_string(i));
      table.rows.push_back(std::move(row));
    }
    auto tc = WriteTableContext(**db, table);
    ASSERT_TRUE(tc.ok()) << tc.status().ToString();
    ASSERT_TRUE(PutHeapNode(**db, kContents, *tc).ok());
    ASSERT_TRUE((*db)->Commit().ok());
  }

  auto db = NodeDatabase::Open(file, false);
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  auto message = (*db)->FindNode(kMessage);
  ASSERT_TRUE(message.ok() && message->has_value());
  auto subs = SubnodesOf(**db, **message);
  ASSERT_TRUE(subs.ok());
  auto props = ReadPropertyContext(**db, (*message)->data, *subs);
  ASSERT_TRUE(props.ok()) << props.status().ToString();
  EXPECT_EQ(props->at(0x0037).AsString(), "Large message");
  EXPECT_EQ(props->at(0x1013).bytes, Pattern(5000));
  const PropValue& big = props->at(0x1000);
  ASSERT_TRUE(big.stream);
  ASSERT_EQ(big.Size(), kStream);
  for (uint64_t offset : {uint64_t{0}, uint64_t{kMaxBlockData * 1021 - 10}, kStream - 64}) {
    std::vector<uint8_t> piece(64);
    ASSERT_TRUE(big.stream->Read(offset, piece).ok()) << offset;
    for (size_t i = 0; i < piece.size(); ++i)
      ASSERT_EQ(piece[i], PatternSource::At(offset + i)) << offset + i;
  }

  auto contents = (*db)->FindNode(kContents);
  ASSERT_TRUE(contents.ok() && contents->has_value());
  auto tsubs = SubnodesOf(**db, **contents);
  auto table = ReadTableContext(**db, (*contents)->data, *tsubs);
  ASSERT_TRUE(table.ok()) << table.status().ToString();
  ASSERT_EQ(table->rows.size(), 5000u);
  for (uint32_t i = 0; i < 5000; i += 499) {
    EXPECT_EQ(table->rows[i].row_id, 0x200004 + 0x20 * i);
    EXPECT_EQ(table->rows[i].cells.at(0x0E070003).AsInt32(), static_cast<int32_t>(i));
    EXPECT_EQ(table->rows[i].cells.contains(0x0037001F), i % 10 == 0);
  }
}

}  // namespace
}  // namespace velmora::pst
