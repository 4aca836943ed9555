#include "pst/messaging/entry_id.h"

#include "fsutil/now.h"
#include "pst/ltp/le_bytes.h"

namespace velmora::pst {

std::vector<uint8_t> MakeEntryId(const RecordKey& store, Nid nid) {
  std::vector<uint8_t> out(kEntryIdSize, 0);
  std::copy(store.begin(), store.end(), out.begin() + 4);
  le::Put32(out, 20, nid);
  return out;
}

Result<Nid> NidFromEntryId(const RecordKey& store, std::span<const uint8_t> entry_id) {
  if (entry_id.size() != kEntryIdSize) {
    return Status::InvalidArgument("entry ID of " + std::to_string(entry_id.size()) + " bytes, expected 24");
  }
  if (le::Get32(entry_id, 0) != 0) return Status::InvalidArgument("entry ID with flags set");
  if (!std::equal(store.begin(), store.end(), entry_id.begin() + 4)) {
    return Status::InvalidArgument("entry ID of another store");
  }
  return Nid{le::Get32(entry_id, 20)};
}

RecordKey NewRecordKey() {
  RecordKey key{};
  fsutil::RandomBytes(key);
  // RFC 4122 version 4 (random) and variant 10x, so the key reads as an ordinary random GUID.
  key[7] = static_cast<uint8_t>((key[7] & 0x0F) | 0x40);
  key[8] = static_cast<uint8_t>((key[8] & 0x3F) | 0x80);
  return key;
}

std::string HexString(std::span<const uint8_t> bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s.push_back(kDigits[b >> 4]);
    s.push_back(kDigits[b & 0xF]);
  }
  return s;
}

Result<std::vector<uint8_t>> ParseHex(std::string_view text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (text.size() % 2 != 0) return Status::InvalidArgument("hex text of odd length");
  std::vector<uint8_t> out(text.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    int hi = digit(text[2 * i]), lo = digit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return Status::InvalidArgument("not a hex digit in \"" + std::string(text) + "\"");
    out[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  return out;
}

}  // namespace velmora::pst
