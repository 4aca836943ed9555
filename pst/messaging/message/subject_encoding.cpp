#include "pst/messaging/message/subject_encoding.h"

namespace velmora::pst {

namespace {

constexpr uint8_t kMarker = 0x01;  // U+0001, the first control character

bool StartsWithMarker(const std::vector<uint8_t>& utf16) {
  return utf16.size() >= 4 && utf16[0] == kMarker && utf16[1] == 0;
}

}  // namespace

PropValue EncodeStoredSubject(const PropValue& subject, const PropValue* prefix) {
  if (subject.type != kPtypString || subject.stream || StartsWithMarker(subject.bytes)) return subject;
  size_t prefix_units = 0;
  if (prefix && prefix->type == kPtypString && !prefix->stream &&
      prefix->bytes.size() <= subject.bytes.size() &&
      std::equal(prefix->bytes.begin(), prefix->bytes.end(), subject.bytes.begin())) {
    prefix_units = prefix->bytes.size() / 2;
  }
  // The count fits one UTF-16 unit: prefixes are at most a few characters; longer ones count as none.
  if (prefix_units > 0xFFFE) prefix_units = 0;
  std::vector<uint8_t> out = {kMarker, 0, static_cast<uint8_t>((prefix_units + 1) & 0xFF),
                              static_cast<uint8_t>((prefix_units + 1) >> 8)};
  out.insert(out.end(), subject.bytes.begin(), subject.bytes.end());
  return PropValue::Raw(kPtypString, std::move(out));
}

PropValue DecodeStoredSubject(const PropValue& stored) {
  if (stored.type != kPtypString || stored.stream || !StartsWithMarker(stored.bytes)) return stored;
  return PropValue::Raw(kPtypString, std::vector<uint8_t>(stored.bytes.begin() + 4, stored.bytes.end()));
}

}  // namespace velmora::pst
