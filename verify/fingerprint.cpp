#include "verify/fingerprint.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "fsutil/now.h"
#include "pst/tags/prop_tags.h"
#include "verify/sha256.h"

namespace velmora::verify {

namespace {

namespace tag = pst::ids;

// The digest kept for text and bodies: 8 bytes of the SHA-256.
constexpr size_t kShortDigestBytes = 8;

const pst::PropValue* Find(const pst::PropertyMap& props, uint16_t id) {
  auto it = props.find(id);
  return it == props.end() ? nullptr : &it->second;
}

// Separates the parts of a hashed field, so that ("ab", "c") and ("a", "bc") differ.
void AddPart(Sha256& sum, const pst::PropertyMap& props, uint16_t id) {
  const pst::PropValue* v = Find(props, id);
  const std::string text = v ? v->AsString().value_or("") : "";
  sum.Add(std::to_string(text.size()) + ":");
  sum.Add(text);
}

// "2020-03-03 10:00:00.0000000 UTC": readable in a report, and exact to the FILETIME's 100 ns.
std::string TimeText(const pst::PropertyMap& props, uint16_t id) {
  const pst::PropValue* v = Find(props, id);
  auto t = v ? v->AsTime() : std::nullopt;
  if (!t) return "";
  constexpr uint64_t kTicksPerSecond = 10000000;       // FILETIME counts 100 ns
  constexpr int64_t kSeconds1601To1970 = 11644473600;  // 369 years, 89 of them leap years
  const std::time_t secs = static_cast<std::time_t>(*t / kTicksPerSecond) - kSeconds1601To1970;
  std::tm utc{};
  fsutil::UtcCalendar(secs, &utc);
  char buf[48];
  const size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &utc);
  std::snprintf(buf + n, sizeof buf - n, ".%07u UTC", static_cast<unsigned>(*t % kTicksPerSecond));
  return buf;
}

// Size and digest of a value's bytes: "1234 0a1b2c3d4e5f6071".
std::string Digest(const pst::PropValue* v, size_t digest_bytes) {
  if (!v) return "absent";
  Sha256 sum;
  if (auto s = AddValue(sum, *v); !s.ok()) return "unreadable: " + s.message();
  return std::to_string(v->Size()) + " " + sum.Hex(digest_bytes);
}

void Add(Fingerprint& f, const std::string& prefix, std::string name, std::string value, bool hashed) {
  f.fields.push_back({prefix + std::move(name), std::move(value), hashed});
}

void TakeInto(Fingerprint& f, const pst::MessageContent& m, const std::string& prefix) {
  const auto& p = m.props;
  Sha256 subject;
  AddPart(subject, p, tag::kSubject);
  Add(f, prefix, "subject", subject.Hex(kShortDigestBytes), true);
  Sha256 sender;
  AddPart(sender, p, tag::kSenderName);
  AddPart(sender, p, tag::kSenderEmailAddress);
  Add(f, prefix, "sender", sender.Hex(kShortDigestBytes), true);
  Add(f, prefix, "recipients", std::to_string(m.recipients.size()), false);
  Sha256 addresses;
  for (const auto& r : m.recipients) {
    const pst::PropertyMap props = r.Props();
    const pst::PropValue* type = Find(props, tag::kRecipientType);
    addresses.Add(std::to_string(type ? type->AsInt32().value_or(0) : 0) + " ");
    AddPart(addresses, props, Find(props, tag::kSmtpAddress) ? tag::kSmtpAddress : tag::kEmailAddress);
  }
  Add(f, prefix, "recipient addresses", addresses.Hex(kShortDigestBytes), true);
  Add(f, prefix, "sent time", TimeText(p, tag::kClientSubmitTime), false);
  Add(f, prefix, "received time", TimeText(p, tag::kMessageDeliveryTime), false);
  Sha256 id;
  AddPart(id, p, tag::kInternetMessageId);
  Add(f, prefix, "message-id", id.Hex(kShortDigestBytes), true);
  Add(f, prefix, "plain body", Digest(Find(p, tag::kBody), kShortDigestBytes), true);
  Add(f, prefix, "html body", Digest(Find(p, tag::kHtml), kShortDigestBytes), true);
  Add(f, prefix, "attachments", std::to_string(m.attachments.size()), false);
  for (size_t k = 0; k < m.attachments.size(); ++k) {
    const auto& a = m.attachments[k];
    const std::string at = prefix + "attachment " + std::to_string(k + 1);
    ++f.attachments;
    if (a.embedded) {
      TakeInto(f, *a.embedded, at + " > ");
      continue;
    }
    const pst::PropValue* data = Find(a.props, tag::kAttachDataBinary);
    Add(f, at, " size", data ? std::to_string(data->Size()) : "absent", false);
    Sha256 sum;
    std::string digest = "absent";
    if (data) {
      auto s = AddValue(sum, *data);
      digest = s.ok() ? sum.Hex() : "unreadable: " + s.message();
    }
    Add(f, at, " sha-256", digest, true);
  }
}

void PutString(std::string& out, std::string_view s) {
  const uint32_t n = static_cast<uint32_t>(s.size());
  out.append(reinterpret_cast<const char*>(&n), sizeof n);
  out.append(s);
}

bool GetString(std::string_view& in, std::string& s) {
  uint32_t n = 0;
  if (in.size() < sizeof n) return false;
  std::memcpy(&n, in.data(), sizeof n);
  in.remove_prefix(sizeof n);
  if (in.size() < n) return false;
  s.assign(in.substr(0, n));
  in.remove_prefix(n);
  return true;
}

}  // namespace

Fingerprint Take(const pst::MessageContent& content) {
  Fingerprint f;
  TakeInto(f, content, "");
  return f;
}

std::string ValueOf(const Fingerprint& f, const std::string& name) {
  for (const auto& field : f.fields) {
    if (field.name == name) return field.value;
  }
  return "";
}

// Layout (in the fingerprint log only, never in a .pst): source, file, folder, attachment count as text, then
// per field its name and its value with the hashed flag ('h' or '-') in front; each string as a 4-byte length
// (host order: the log never leaves the process that wrote it) and its bytes.
std::string Serialize(const Fingerprint& f) {
  std::string out;
  PutString(out, f.source);
  PutString(out, f.file);
  PutString(out, f.folder);
  PutString(out, std::to_string(f.attachments));
  for (const auto& field : f.fields) {
    PutString(out, field.name);
    PutString(out, (field.hashed ? "h" : "-") + field.value);
  }
  return out;
}

bool Parse(std::string_view bytes, Fingerprint& f) {
  f = Fingerprint();
  std::string count;
  if (!GetString(bytes, f.source) || !GetString(bytes, f.file) || !GetString(bytes, f.folder) ||
      !GetString(bytes, count)) {
    return false;
  }
  f.attachments = static_cast<uint32_t>(std::strtoul(count.c_str(), nullptr, 10));
  while (!bytes.empty()) {
    Field field;
    if (!GetString(bytes, field.name) || !GetString(bytes, field.value) || field.value.empty()) return false;
    field.hashed = field.value[0] == 'h';
    field.value.erase(0, 1);
    f.fields.push_back(std::move(field));
  }
  return true;
}

}  // namespace velmora::verify
