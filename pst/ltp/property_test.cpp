#include "pst/ltp/property.h"

#include <gtest/gtest.h>

namespace velmora::pst {
namespace {

std::vector<uint8_t> U16(std::initializer_list<uint16_t> units) {
  std::vector<uint8_t> out;
  for (uint16_t u : units) {
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

TEST(Utf16Test, EncodesEveryPlaneAndDecodesBack) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  EXPECT_EQ(Utf8ToUtf16le(text), U16({0x41, 0xE9, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16leToUtf8(Utf8ToUtf16le(text)), text);
  EXPECT_EQ(Utf8ToUtf16le(std::string("a\0b", 3)), U16({0x61, 0, 0x62}));
  // ASCII runs of every length up to five words (two 16-byte steps and any tail), each ended by an é.
  std::string runs;
  std::vector<uint8_t> expected;
  for (size_t len = 0; len <= 40; ++len) {
    for (size_t k = 0; k < len; ++k) {
      runs += static_cast<char>('a' + k % 26);
      expected.insert(expected.end(), {static_cast<uint8_t>('a' + k % 26), 0});
    }
    runs += "\xC3\xA9";
    expected.insert(expected.end(), {0xE9, 0});
  }
  EXPECT_EQ(Utf8ToUtf16le(runs), expected);
}

TEST(Utf16Test, IllFormedUtf8BecomesOneReplacementPerMaximalSubpart) {
  // Lone continuation byte, overlong '/', encoded surrogate, beyond U+10FFFF, truncated 3-byte sequence.
  EXPECT_EQ(Utf8ToUtf16le("\x80"), U16({0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16le("\xC0\xAF"), U16({0xFFFD, 0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16le("\xED\xA0\x80"), U16({0xFFFD, 0xFFFD, 0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16le("\xF4\x90\x80\x80"), U16({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16le("\xE2\x82x"), U16({0xFFFD, 'x'}));
  EXPECT_EQ(Utf8ToUtf16le("\xF0\x9F\x98"), U16({0xFFFD}));
}

TEST(Utf16Test, UnpairedSurrogatesAndOddLengthBecomeReplacement) {
  EXPECT_EQ(Utf16leToUtf8(U16({0xD83D, 'a'})),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(Utf16leToUtf8(U16({0xDE00})), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16leToUtf8(U16({'a', 0xD83D})), "a\xEF\xBF\xBD");
  std::vector<uint8_t> odd = U16({'a'});
  odd.push_back(0x41);
  EXPECT_EQ(Utf16leToUtf8(odd), "a\xEF\xBF\xBD");
}

TEST(PropValueTest, HelpersStoreLittleEndianBytesOfTheirTypesSize) {
  EXPECT_EQ(PropValue::Int16(-2).bytes, (std::vector<uint8_t>{0xFE, 0xFF}));
  EXPECT_EQ(PropValue::Int32(0x01020304).bytes, (std::vector<uint8_t>{4, 3, 2, 1}));
  for (auto v : {PropValue::Int16(1), PropValue::Int32(1), PropValue::Int64(1), PropValue::Bool(true),
                 PropValue::Time(1)})
    EXPECT_EQ(v.bytes.size(), FixedSizeOf(v.type));
}

TEST(PropValueTest, ConversionsAcceptOnlyMatchingTypes) {
  EXPECT_EQ(PropValue::Int16(-5).AsInt32(), -5);
  EXPECT_EQ(PropValue::Int32(-7).AsInt64(), -7);
  EXPECT_EQ(PropValue::Int64(1ll << 40).AsInt64(), 1ll << 40);
  EXPECT_EQ(PropValue::Int64(1).AsInt32(), std::nullopt);
  EXPECT_EQ(PropValue::Bool(false).AsBool(), false);
  EXPECT_EQ(PropValue::Int32(1).AsBool(), std::nullopt);
  EXPECT_EQ(PropValue::Time(99).AsTime(), 99u);
  EXPECT_EQ(PropValue::String("\xC3\xA9t\xC3\xA9").AsString(), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(PropValue::Raw(kPtypString8, {'a', 0xE9}).AsString(), "a\xC3\xA9");
  EXPECT_EQ(PropValue::Binary({1, 2}).AsString(), std::nullopt);
  EXPECT_EQ(PropValue::Raw(kPtypInteger32, {1, 2}).AsInt32(), std::nullopt);  // too short
}

TEST(PropValueTest, LoadReadsAStreamWhole) {
  class Three : public ByteSource {
   public:
    uint64_t Size() const override { return 3; }
    Status Read(uint64_t offset, std::span<uint8_t> out) const override {
      for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(offset + i + 1);
      return Status::Ok();
    }
  };
  auto v = PropValue::Stream(kPtypBinary, std::make_shared<Three>());
  EXPECT_EQ(v.Size(), 3u);
  EXPECT_EQ(*v.Load(), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(MultiValueTest, VariableSizeItemsUseAnOffsetTable) {
  std::vector<std::vector<uint8_t>> items = {{1, 2, 3}, {}, {9}};
  auto bytes = EncodeMultiValue(kPtypMultipleBinary, items);
  // ulCount 3, offsets 16, 19, 19, then the items.
  EXPECT_EQ(bytes, (std::vector<uint8_t>{3, 0, 0, 0, 16, 0, 0, 0, 19, 0, 0, 0, 19, 0, 0, 0, 1, 2, 3, 9}));
  EXPECT_EQ(DecodeMultiValue(kPtypMultipleBinary, bytes), items);
}

TEST(MultiValueTest, FixedSizeItemsArePacked) {
  std::vector<std::vector<uint8_t>> items = {{1, 0, 0, 0}, {2, 0, 0, 0}};
  auto bytes = EncodeMultiValue(kPtypMultipleInteger32, items);
  EXPECT_EQ(bytes.size(), 8u);
  EXPECT_EQ(DecodeMultiValue(kPtypMultipleInteger32, bytes), items);
  EXPECT_EQ(DecodeMultiValue(kPtypMultipleInteger32, std::vector<uint8_t>(7)), std::nullopt);
}

TEST(MultiValueTest, RejectsOffsetsOutsideTheValue) {
  EXPECT_EQ(DecodeMultiValue(kPtypMultipleString, std::vector<uint8_t>{5, 0, 0, 0}), std::nullopt);
  EXPECT_EQ(DecodeMultiValue(kPtypMultipleString, std::vector<uint8_t>{1, 0, 0, 0, 99, 0, 0, 0}),
            std::nullopt);
  EXPECT_EQ(
      DecodeMultiValue(kPtypMultipleString, std::vector<uint8_t>{2, 0, 0, 0, 12, 0, 0, 0, 4, 0, 0, 0, 7, 7}),
      std::nullopt);  // second offset points into the table and before the first
  EXPECT_EQ(DecodeMultiValue(kPtypBinary, std::vector<uint8_t>{}), std::nullopt);
}

}  // namespace
}  // namespace velmora::pst
