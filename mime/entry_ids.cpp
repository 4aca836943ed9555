#include "mime/entry_ids.h"

#include "pst/ltp/property.h"

namespace velmora::mime {
namespace {
constexpr uint8_t kOneOffProviderUid[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                            0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutUtf16z(std::vector<uint8_t>& out, const std::string& s) {
  pst::AppendUtf16le(s, out);
  out.push_back(0);
  out.push_back(0);
}
}  // namespace

void MakeOneOffEntryId(const std::string& display_name, const std::string& address, uint16_t flags,
                       std::vector<uint8_t>& out) {
  // Sized once: UTF-16 takes at most two bytes per UTF-8 byte, and each string ends in two zero bytes.
  constexpr size_t kFixedBytes = 4 + sizeof(kOneOffProviderUid) + 4 + 3 * 2 + 2 * 4;  // "SMTP" included
  out.clear();
  out.reserve(kFixedBytes + 2 * (display_name.size() + address.size()));
  PutLe32(out, 0);
  out.insert(out.end(), std::begin(kOneOffProviderUid), std::end(kOneOffProviderUid));
  out.push_back(0);  // version
  out.push_back(0);
  out.push_back(static_cast<uint8_t>(flags));
  out.push_back(static_cast<uint8_t>(flags >> 8));
  PutUtf16z(out, display_name);
  PutUtf16z(out, "SMTP");
  PutUtf16z(out, address);
}

std::vector<uint8_t> OneOffEntryId(const std::string& display_name, const std::string& address,
                                   uint16_t flags) {
  std::vector<uint8_t> out;
  MakeOneOffEntryId(display_name, address, flags, out);
  return out;
}

void SetOneOffFlags(std::vector<uint8_t>& one_off, uint16_t flags) {
  // The flags follow the 4 flag bytes, the provider UID and the 2 version bytes.
  constexpr size_t kFlagsAt = 4 + sizeof(kOneOffProviderUid) + 2;
  one_off[kFlagsAt] = static_cast<uint8_t>(flags);
  one_off[kFlagsAt + 1] = static_cast<uint8_t>(flags >> 8);
}

std::vector<uint8_t> WithOneOffFlags(std::vector<uint8_t> one_off, uint16_t flags) {
  SetOneOffFlags(one_off, flags);
  return one_off;
}

void MakeSmtpSearchKey(const std::string& address, std::vector<uint8_t>& out) {
  out.clear();
  out.reserve(5 + address.size() + 1);  // "SMTP:", the address, the terminating zero
  out.insert(out.end(), {'S', 'M', 'T', 'P', ':'});
  for (char c : address) {
    out.push_back(static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
  }
  out.push_back(0);
}

std::vector<uint8_t> SmtpSearchKey(const std::string& address) {
  std::vector<uint8_t> out;
  MakeSmtpSearchKey(address, out);
  return out;
}

std::vector<uint8_t> FlatEntryList(const std::vector<std::vector<uint8_t>>& entry_ids) {
  std::vector<uint8_t> body;
  for (size_t i = 0; i < entry_ids.size(); ++i) {
    if (i > 0) {
      while (body.size() % 4 != 0) body.push_back(0);
    }
    PutLe32(body, static_cast<uint32_t>(entry_ids[i].size()));
    body.insert(body.end(), entry_ids[i].begin(), entry_ids[i].end());
  }
  std::vector<uint8_t> out;
  PutLe32(out, static_cast<uint32_t>(entry_ids.size()));
  PutLe32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace velmora::mime
