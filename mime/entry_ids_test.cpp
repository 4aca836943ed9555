// Address identifiers, checked byte for byte against what Outlook wrote in its own files.
#include "mime/entry_ids.h"

#include <gtest/gtest.h>

#include "pst/ltp/property.h"

namespace velmora::mime {
namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST(OneOffEntryId, MatchesTheLayoutOutlookWroteForAnSmtpRecipient) {
  // Outlook's recipient "xmailuser@xmailserver.test" (name = address) had a 142-byte entry ID, flags 01 80.
  const std::string addr = "xmailuser@xmailserver.test";
  auto id = OneOffEntryId(addr, addr);
  ASSERT_EQ(id.size(), 142u);
  EXPECT_EQ(Le32(id, 0), 0u);
  const std::vector<uint8_t> provider{0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                      0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
  EXPECT_EQ(std::vector<uint8_t>(id.begin() + 4, id.begin() + 20), provider);
  EXPECT_EQ(id[20], 0);
  EXPECT_EQ(id[21], 0);
  EXPECT_EQ(id[22], 0x01);
  EXPECT_EQ(id[23], 0x80);
  // Three NUL-terminated UTF-16LE strings follow: name, "SMTP", address.
  std::string rest = pst::Utf16leToUtf8(std::span<const uint8_t>(id.data() + 24, id.size() - 24));
  EXPECT_EQ(rest, addr + std::string(1, '\0') + "SMTP" + std::string(1, '\0') + addr + std::string(1, '\0'));
}

TEST(OneOffEntryId, RecordKeyDiffersOnlyInTheFlags) {
  auto id = OneOffEntryId("Bob", "bob@example.net");
  auto key = OneOffEntryId("Bob", "bob@example.net", kOneOffRecordKeyFlags);
  ASSERT_EQ(id.size(), key.size());
  EXPECT_EQ(key[23], 0x90);
  key[23] = id[23];
  EXPECT_EQ(id, key);
}

TEST(OneOffEntryId, NonAsciiNamesAreUtf16WithSurrogatePairs) {
  auto id = OneOffEntryId("A\xF0\x9F\x98\x80", "a@b");  // U+1F600 takes two UTF-16 code units
  // 24 header + (3 units + NUL) * 2 + ("SMTP" + NUL) * 2 + ("a@b" + NUL) * 2
  EXPECT_EQ(id.size(), 24u + 8 + 10 + 8);
  EXPECT_EQ(id[26], 0x3D);  // high surrogate D83D, little-endian
  EXPECT_EQ(id[27], 0xD8);
}

TEST(SmtpSearchKey, IsUpperCasedWithOneTerminatingNul) {
  auto key = SmtpSearchKey("xmailuser@xmailserver.test");
  const std::string expected = "SMTP:XMAILUSER@XMAILSERVER.TEST";
  ASSERT_EQ(key.size(), expected.size() + 1);
  EXPECT_EQ(std::string(key.begin(), key.end() - 1), expected);
  EXPECT_EQ(key.back(), 0);
}

TEST(FlatEntryList, CountsSizesAndPadsBetweenEntries) {
  std::vector<uint8_t> a{1, 2, 3, 4, 5};  // 4 + 5 = 9 bytes, padded to 12 before the next entry
  std::vector<uint8_t> b{9, 9};
  auto list = FlatEntryList({a, b});
  EXPECT_EQ(Le32(list, 0), 2u);
  EXPECT_EQ(Le32(list, 4), 12u + 4 + 2);
  ASSERT_EQ(list.size(), 8u + 12 + 4 + 2);
  EXPECT_EQ(Le32(list, 8), 5u);
  EXPECT_EQ(list[12], 1);
  EXPECT_EQ(list[17], 0);  // padding
  EXPECT_EQ(Le32(list, 20), 2u);
  EXPECT_EQ(list[24], 9);
}

TEST(FlatEntryList, EmptyListIsJustTheTwoCounters) {
  auto list = FlatEntryList({});
  EXPECT_EQ(list, std::vector<uint8_t>(8, 0));
}

}  // namespace
}  // namespace velmora::mime
