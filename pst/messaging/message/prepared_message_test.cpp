// A message node made ahead and placed later is the node the writer writes, byte for byte in the file; what
// cannot be made ahead is refused before anything reaches a store.
#include "pst/messaging/message/prepared_message.h"

#include <gtest/gtest.h>

#include "pst/messaging/message/message_test_support.h"
#include "pst/ndb/node_database.h"

namespace velmora::pst::testing {
namespace {

constexpr uint64_t kNow = 0x01DA000000000000;

MessageWriteOptions Fixed() {
  MessageWriteOptions o;
  o.now_filetime = kNow;
  o.search_key = [] {
    std::array<uint8_t, 16> k;
    for (size_t i = 0; i < k.size(); ++i) k[i] = static_cast<uint8_t>(0xA0 + i);
    return k;
  };
  return o;
}

// A store that has written something already, so that placed IDs are not the first ones.
std::unique_ptr<NodeDatabase> UsedStore(std::shared_ptr<MemoryFile>* file, CryptMethod crypt) {
  *file = std::make_shared<MemoryFile>();
  CreateOptions options;
  options.crypt = crypt;
  auto db = NodeDatabase::Create(*file, options);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  EXPECT_TRUE((*db)->AllocateNid(kNidTypeLtp).ok());
  EXPECT_TRUE((*db)->WriteDataBlock(PatternBytes(100, 1)).ok());
  return std::move(db).value();
}

MessageContent Shaped(int shape) {
  MessageContent m = Mail("shape " + std::to_string(shape));
  if (shape >= 1) m.props[0x1000] = PropValue::String(std::string(20000, 'b'));  // body in a subnode
  if (shape >= 2) m.props[0x1013] = PropValue::Binary(PatternBytes(9000, 3));    // HTML: a second one
  if (shape >= 2) {
    NamedProperty np;
    np.guid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    np.is_string = true;
    np.name = "x-list";
    np.value = PropValue::String("list");
    m.named.push_back(np);
    for (int i = 0; i < 3; ++i) m.recipients.push_back(Recipient("R" + std::to_string(i), "r@x.org", 1));
  }
  if (shape == 3) m.props[Id(kSearchKey)] = PropValue::Binary(PatternBytes(16, 9));  // not drawn
  return m;
}

TEST(PreparedMessage, PlacedIsByteForByteWhatTheWriterWrites) {
  for (CryptMethod crypt : {CryptMethod::kPermute, CryptMethod::kNone, CryptMethod::kCyclic}) {
    for (int shape = 0; shape <= 3; ++shape) {
      SCOPED_TRACE(::testing::Message() << "crypt " << int(crypt) << " shape " << shape);
      const MessageContent content = Shaped(shape);
      FakeNameMap names_a, names_b;
      TableScratch scratch;
      std::shared_ptr<MemoryFile> file_a, file_b;
      auto a = UsedStore(&file_a, crypt);
      auto b = UsedStore(&file_b, crypt);

      auto written = WriteMessage(*a, content, names_a.Resolver(), Fixed(), &scratch);
      ASSERT_TRUE(written.ok()) << written.status().ToString();
      MessageWriteOptions ahead = Fixed();
      ahead.search_key = nullptr;  // never drawn while making ahead
      auto prepared = PrepareMessage(content, names_b.Resolver(), ahead, &scratch, b->AheadEncoding());
      ASSERT_TRUE(prepared.ok()) << prepared.status().ToString();
      EXPECT_EQ(prepared->fills_search_key, shape != 3);
      ASSERT_TRUE(PreparedFits(*b, *prepared));
      auto placed = PlacePreparedMessage(*b, *prepared, Fixed());
      ASSERT_TRUE(placed.ok()) << placed.status().ToString();

      EXPECT_EQ(placed->size, written->size);
      EXPECT_EQ(placed->row_props.at(Id(kSearchKey)).bytes, written->row_props.at(Id(kSearchKey)).bytes);
      const Nid nid = MakeNid(kNidTypeNormalMessage, 0x400);
      ASSERT_TRUE(a->PutNode({nid, written->data, written->sub, 0x8022}).ok());
      ASSERT_TRUE(b->PutNode({nid, placed->data, placed->sub, 0x8022}).ok());
      ASSERT_TRUE(a->Commit().ok());
      ASSERT_TRUE(b->Commit().ok());
      EXPECT_TRUE(file_a->bytes() == file_b->bytes());
    }
  }
}

TEST(PreparedMessage, WhatTakesNidsOrNamesOfItsOwnIsRefused) {
  TableScratch scratch;
  auto refused = [&](const MessageContent& m, const NamedIdResolver& names) {
    auto p = PrepareMessage(m, names, {}, &scratch, CryptMethod::kPermute);
    return !p.ok() && p.status().code() == Code::kUnsupported;
  };
  FakeNameMap names;
  MessageContent attached = Mail("attached");
  attached.attachments.push_back(FileAttachment("a.txt", PropValue::Binary(PatternBytes(10, 1))));
  EXPECT_TRUE(refused(attached, names.Resolver()));

  MessageContent crowded = Mail("crowded");  // the recipient rows outgrow the heap: a subnode of the table
  for (int i = 0; i < 200; ++i)
    crowded.recipients.push_back(Recipient("P" + std::to_string(i), "p@x.org", 1));
  EXPECT_TRUE(refused(crowded, names.Resolver()));

  NamedIdResolver unknown = [](const NamedProperty&) -> Result<uint16_t> {
    return Status::Unsupported("not known yet");
  };
  EXPECT_TRUE(refused(Shaped(2), unknown));
  EXPECT_FALSE(refused(Shaped(2), names.Resolver()));
}

}  // namespace
}  // namespace velmora::pst::testing
