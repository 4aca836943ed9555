#include "pst/messaging/message/subject_encoding.h"

#include <gtest/gtest.h>

namespace velmora::pst {
namespace {

std::vector<uint8_t> Units(std::initializer_list<uint16_t> units, const std::string& rest) {
  std::vector<uint8_t> out;
  for (uint16_t u : units) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  auto tail = Utf8ToUtf16le(rest);
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

TEST(SubjectEncoding, ControlPairCarriesThePrefixLengthAndReadsBack) {
  auto plain = PropValue::String("Квитанция");
  EXPECT_EQ(EncodeStoredSubject(plain, nullptr).bytes, Units({1, 1}, "Квитанция"));
  auto re = PropValue::String("RE: Hi");
  auto prefix = PropValue::String("RE: ");
  EXPECT_EQ(EncodeStoredSubject(re, &prefix).bytes, Units({1, 5}, "RE: Hi"));
  auto wrong_prefix = PropValue::String("FW: ");
  EXPECT_EQ(EncodeStoredSubject(re, &wrong_prefix).bytes, Units({1, 1}, "RE: Hi"));
  EXPECT_EQ(DecodeStoredSubject(EncodeStoredSubject(re, &prefix)).AsString(), "RE: Hi");
  // Already stored form and non-Unicode values pass unchanged; an empty subject still gets the pair.
  auto stored = EncodeStoredSubject(re, &prefix);
  EXPECT_EQ(EncodeStoredSubject(stored, nullptr).bytes, stored.bytes);
  auto ansi = PropValue::Raw(kPtypString8, {'x'});
  EXPECT_EQ(EncodeStoredSubject(ansi, nullptr).bytes, ansi.bytes);
  EXPECT_EQ(DecodeStoredSubject(EncodeStoredSubject(PropValue::String(""), nullptr)).AsString(), "");
}

}  // namespace
}  // namespace velmora::pst
