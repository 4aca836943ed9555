#include "pst/messaging/name_to_id_map.h"

#include <gtest/gtest.h>

#include "pst/ltp/le_bytes.h"
#include "pst/ndb/crc.h"

namespace velmora::pst {
namespace {

// PSETID_Common {00062008-0000-0000-C000-000000000046} as stored.
const Guid kPsetidCommon = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

std::vector<uint8_t> Bytes(const PropertyMap& p, uint16_t id) {
  return p.at(id).bytes;
}

TEST(NameToIdMapTest, StringHashIsTheFormatsCrcOfTheUtf16Name) {
  // An Outlook-made file keeps PS_PUBLIC_STRINGS "DRMLicense" in bucket 0x1021 with key 0xE2496744.
  EXPECT_EQ(Crc32(Utf8ToUtf16le("DRMLicense")), 0xE2496744u);
  NameToIdMap map;
  ASSERT_TRUE(map.Register({kPsPublicStrings, true, 0, "DRMLicense"}).ok());
  PropertyMap p = map.ToProperties();
  ASSERT_TRUE(p.count(0x1021)) << "bucket (0xE2496744 ^ wGuid 5) % 251 = 0x21";
  auto b = Bytes(p, 0x1021);
  ASSERT_EQ(b.size(), 8u);
  EXPECT_EQ(le::Get32(b, 0), 0xE2496744u);
  EXPECT_EQ(le::Get16(b, 4), 5u) << "GUID index 2 (PS_PUBLIC_STRINGS) << 1 | string";
}

TEST(NameToIdMapTest, NumericNamesGoToTheStreamAndTheirBucket) {
  // An Outlook-made file: LID 0x8205 in the first stream GUID, record 0, bucket 0x1097.
  NameToIdMap map;
  auto id = map.Register({kPsetidCommon, false, 0x8205, ""});
  ASSERT_TRUE(id.ok());
  EXPECT_EQ(*id, 0x8000);
  PropertyMap p = map.ToProperties();
  EXPECT_EQ(p.at(0x0001).AsInt32(), 251);
  EXPECT_EQ(Bytes(p, 0x0002), std::vector<uint8_t>(kPsetidCommon.begin(), kPsetidCommon.end()));
  EXPECT_EQ(Bytes(p, 0x0003), (std::vector<uint8_t>{0x05, 0x82, 0, 0, 0x06, 0, 0, 0}));
  EXPECT_EQ(Bytes(p, 0x1097), (std::vector<uint8_t>{0x05, 0x82, 0, 0, 0x06, 0, 0, 0}));
  EXPECT_EQ(p.size(), 5u) << "count, three streams, one bucket";
}

TEST(NameToIdMapTest, RegisterIsIdempotentAndRoundTripsThroughTheProperties) {
  NameToIdMap map;
  std::vector<NamedPropKey> keys = {{kPsetidCommon, false, 0x8580, ""},
                                    {kPsPublicStrings, true, 0, "Keywords"},
                                    {kPsMapi, false, 0x0001, ""},
                                    {kPsPublicStrings, true, 0, "x-cr-puzzleid"},
                                    {kPsetidCommon, true, 0, "Émoji 🙂"},
                                    {kPsPublicStrings, true, 0, "keywords"}};
  for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(*map.Register(keys[i]), 0x8000 + i);
  EXPECT_EQ(*map.Register(keys[1]), 0x8001) << "registering again gives the same ID";
  EXPECT_TRUE(map.dirty());
  auto back = NameToIdMap::FromProperties(map.ToProperties());
  ASSERT_TRUE(back.ok()) << back.status().ToString();
  EXPECT_EQ(back->size(), keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(back->Find(keys[i]), 0x8000 + i);
    EXPECT_EQ(back->Lookup(static_cast<uint16_t>(0x8000 + i)), keys[i]);
  }
  EXPECT_FALSE(back->dirty());
  EXPECT_EQ(*back->Register({kPsetidCommon, false, 0x8581, ""}), 0x8000 + keys.size());
  EXPECT_FALSE(back->Lookup(0x7FFF).has_value());
}

TEST(NameToIdMapTest, AMessagesNamedPropertyRegistersByItsNameAlone) {
  NameToIdMap map;
  NamedProperty keywords;
  keywords.guid = kPsPublicStrings;
  keywords.is_string = true;
  keywords.lid = 77;  // ignored for string names
  keywords.name = "Keywords";
  keywords.value = PropValue::String("a");
  NamedProperty numeric;
  numeric.guid = kPsetidCommon;
  numeric.lid = 0x8580;
  numeric.name = "ignored";
  EXPECT_EQ(*map.RegisterProperty(keywords), 0x8000);
  EXPECT_EQ(*map.RegisterProperty(numeric), 0x8001);
  EXPECT_EQ(map.Find({kPsPublicStrings, true, 0, "Keywords"}), 0x8000);
  EXPECT_EQ(map.Find({kPsetidCommon, false, 0x8580, ""}), 0x8001);
  keywords.name.clear();
  EXPECT_EQ(map.RegisterProperty(keywords).status().code(), Code::kInvalidArgument);
}

TEST(NameToIdMapTest, MalformedStreamsAreCorruption) {
  NameToIdMap map;
  ASSERT_TRUE(map.Register({kPsPublicStrings, true, 0, "Keywords"}).ok());
  PropertyMap good = map.ToProperties();
  {
    PropertyMap p = good;
    p[0x0003].bytes.pop_back();  // not a whole record
    EXPECT_EQ(NameToIdMap::FromProperties(p).status().code(), Code::kCorruption);
  }
  {
    PropertyMap p = good;
    p[0x0003].bytes[0] = 0xF0;  // string offset past the string stream
    EXPECT_EQ(NameToIdMap::FromProperties(p).status().code(), Code::kCorruption);
  }
  {
    PropertyMap p = good;
    le::Put16(p[0x0003].bytes, 4, (9 << 1) | 1);  // GUID index 9 with an empty GUID stream
    EXPECT_EQ(NameToIdMap::FromProperties(p).status().code(), Code::kCorruption);
  }
  {
    PropertyMap p = good;
    le::Put32(p[0x0004].bytes, 0, 0x7FFFFFFF);  // string length past the end
    EXPECT_EQ(NameToIdMap::FromProperties(p).status().code(), Code::kCorruption);
  }
}

}  // namespace
}  // namespace velmora::pst
