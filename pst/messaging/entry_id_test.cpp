#include "pst/messaging/entry_id.h"

#include <gtest/gtest.h>

namespace velmora::pst {
namespace {

constexpr RecordKey kKey = {0x6a, 0x55, 0x2b, 0x81, 0x3c, 0x43, 0xf9, 0x43,
                            0x84, 0xf1, 0x8b, 0x7d, 0xa2, 0x39, 0x3e, 0x95};

TEST(EntryIdTest, LayoutIsFlagsRecordKeyNidAsInOutlookFiles) {
  // PidTagIpmSubTreeEntryId of an Outlook-made file with this record key.
  auto parsed = ParseHex("000000006A552B813C43F94384F18B7DA2393E9522800000");
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(MakeEntryId(kKey, 0x8022), *parsed);
  EXPECT_EQ(*NidFromEntryId(kKey, *parsed), 0x8022u);
}

TEST(EntryIdTest, RejectsForeignShortAndFlaggedIds) {
  auto id = MakeEntryId(kKey, 0x8082);
  RecordKey other = kKey;
  other[15] ^= 1;
  EXPECT_EQ(NidFromEntryId(other, id).status().code(), Code::kInvalidArgument);
  EXPECT_FALSE(NidFromEntryId(kKey, std::span(id).first(23)).ok());
  auto flagged = id;
  flagged[0] = 1;
  EXPECT_FALSE(NidFromEntryId(kKey, flagged).ok());
}

TEST(EntryIdTest, HexRoundTripsAndRejectsJunk) {
  std::vector<uint8_t> bytes = {0x00, 0x0f, 0xa5, 0xff};
  EXPECT_EQ(HexString(bytes), "000FA5FF");
  EXPECT_EQ(*ParseHex("000fA5Ff"), bytes);
  EXPECT_FALSE(ParseHex("ABC").ok());
  EXPECT_FALSE(ParseHex("0G").ok());
}

TEST(EntryIdTest, NewRecordKeysDifferAndCarryTheRandomGuidMarks) {
  RecordKey a = NewRecordKey(), b = NewRecordKey();
  EXPECT_NE(a, b);
  EXPECT_EQ(a[7] & 0xF0, 0x40);
  EXPECT_EQ(a[8] & 0xC0, 0x80);
}

}  // namespace
}  // namespace velmora::pst
