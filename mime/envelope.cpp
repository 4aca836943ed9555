#include "mime/envelope.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_set>

#include "mime/addresses.h"
#include "mime/charset.h"
#include "mime/conversation.h"
#include "mime/dates.h"
#include "mime/encoded_words.h"
#include "mime/entry_ids.h"
#include "mime/gobject_ptr.h"
#include "mime/header_index.h"
#include "mime/prop_tags.h"
#include "mime/subject.h"

namespace velmora::mime {
namespace {

using pst::PropValue;

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// Unfolded, decoded value of the first header with this name; nullopt when absent.
std::optional<std::string> First(const HeaderIndex& headers, std::string_view name,
                                 const std::string& fallback = "") {
  GMimeHeader* h = headers.First(name);
  if (!h) return std::nullopt;
  return Trim(DecodeHeaderText(OrEmpty(g_mime_header_get_raw_value(h)), fallback));
}

// Raw (undecoded, unfolded) value of the first header with this name: for ids, dates and lists of ids.
std::optional<std::string> FirstRaw(const HeaderIndex& headers, std::string_view name) {
  GMimeHeader* h = headers.First(name);
  if (!h) return std::nullopt;
  std::string raw = TakeString(g_mime_utils_header_unfold(OrEmpty(g_mime_header_get_raw_value(h)).c_str()));
  return Trim(DecodeUndeclared(raw));
}

// The value of an address field that PrepareStructuredHeader would return unchanged but for its line end:
// 7-bit text without NULs, encoded words or folding. GMime parsed exactly that text (its line end is blank
// to the address parser) when it built the message's own address lists. Empty when the value is not such.
std::optional<std::string_view> PlainAddressText(const char* raw) {
  std::string_view v(raw);
  if (v.ends_with('\n')) v.remove_suffix(1);
  if (v.ends_with('\r')) v.remove_suffix(1);
  for (size_t i = 0; i < v.size(); ++i) {
    const auto c = static_cast<unsigned char>(v[i]);
    if (c >= 0x80 || c == '\r' || c == '\n' || (c == '=' && i + 1 < v.size() && v[i + 1] == '?'))
      return std::nullopt;
  }
  return v;
}

// Every mailbox of every header with this name, in order (duplicated To lines are merged). `parsed` is
// GMime's list of the same field when the message keeps one (From, To, ...): a single plain field is then
// not parsed a second time.
std::vector<Mailbox> AllMailboxes(const HeaderIndex& headers, std::string_view name,
                                  const std::string& fallback, InternetAddressList* parsed = nullptr) {
  std::vector<Mailbox> out;
  if (parsed && headers.Count(name) == 1) {
    const char* raw = g_mime_header_get_raw_value(headers.First(name));
    if (!raw) return out;
    if (auto plain = PlainAddressText(raw)) return ParseMailboxes(std::string(*plain), parsed);
  }
  headers.ForEach(name, [&](GMimeHeader* h) {
    const char* raw = g_mime_header_get_raw_value(h);
    if (!raw) return;
    for (auto& m : ParseMailboxes(PrepareStructuredHeader(raw, fallback))) out.push_back(std::move(m));
  });
  return out;
}

// The charset of the message's first text part that names one ("" when none does).
std::string DeclaredTextCharset(GMimeObject* object) {
  constexpr int kMaxParts = 64;  // parts looked at: the first text part is near the top
  std::vector<GMimeObject*> stack{object};
  for (int seen = 0; !stack.empty() && seen < kMaxParts; ++seen) {
    GMimeObject* o = stack.back();
    stack.pop_back();
    if (!o) continue;
    if (GMIME_IS_MULTIPART(o)) {
      auto* mp = GMIME_MULTIPART(o);
      for (int i = g_mime_multipart_get_count(mp) - 1; i >= 0; --i)
        stack.push_back(g_mime_multipart_get_part(mp, i));
      continue;
    }
    GMimeContentType* ct = g_mime_object_get_content_type(o);
    if (!ct || g_ascii_strcasecmp(OrEmpty(g_mime_content_type_get_media_type(ct)).c_str(), "text") != 0)
      continue;
    std::string cs = Trim(OrEmpty(g_mime_content_type_get_parameter(ct, "charset")));
    if (!cs.empty()) return cs;
  }
  return "";
}

int32_t LevelFromWord(const std::string& v, const char* low, const char* high) {
  std::string s = Lower(Trim(v));
  if (s.rfind(low, 0) == 0) return 0;
  if (s.rfind(high, 0) == 0) return 2;
  return 1;
}

int32_t SensitivityFromHeader(const std::string& v) {
  std::string s = Lower(Trim(v));
  if (s == "personal") return 1;
  if (s == "private") return 2;
  if (s == "company-confidential" || s == "company confidential") return 3;
  return 0;
}

// Headers mapped to fixed properties or excluded from named properties ([MS-OXCMAIL] 2.2.3.2.29).
constexpr std::array<std::string_view, 61> kMappedOrExcluded = {"adhoc",
                                                                "apparently-to",
                                                                "approved",
                                                                "article",
                                                                "bcc",
                                                                "bytes",
                                                                "cc",
                                                                "comments",
                                                                "content-description",
                                                                "content-disposition",
                                                                "content-id",
                                                                "content-md5",
                                                                "content-transfer-encoding",
                                                                "content-type",
                                                                "control",
                                                                "date",
                                                                "disposition-notification-to",
                                                                "distribution",
                                                                "encoding",
                                                                "encrypted",
                                                                "followup-to",
                                                                "from",
                                                                "importance",
                                                                "in-reply-to",
                                                                "lines",
                                                                "list-help",
                                                                "list-subscribe",
                                                                "list-unsubscribe",
                                                                "message-id",
                                                                "mime-version",
                                                                "newsgroups",
                                                                "nntp-posting-host",
                                                                "organization",
                                                                "path",
                                                                "priority",
                                                                "received",
                                                                "references",
                                                                "reply-to",
                                                                "resent-date",
                                                                "resent-from",
                                                                "resent-message-id",
                                                                "resent-sender",
                                                                "return-path",
                                                                "return-receipt-to",
                                                                "rr",
                                                                "sender",
                                                                "sensitivity",
                                                                "subject",
                                                                "summary",
                                                                "supercedes",
                                                                "thread-index",
                                                                "thread-topic",
                                                                "to",
                                                                "trace",
                                                                "x-list-help",
                                                                "x-list-subscribe",
                                                                "x-list-unsubscribe",
                                                                "x-mimeole",
                                                                "x-ms-tnef-correlator",
                                                                "x-msmail-priority",
                                                                "x-priority"};

bool IsMappedOrExcluded(std::string_view lower) {
  // Asked for every header of every message: a hash set of the names, made once.
  static const std::unordered_set<std::string_view> kNames(kMappedOrExcluded.begin(),
                                                           kMappedOrExcluded.end());
  if (kNames.count(lower)) return true;
  for (std::string_view p : {"x-ms-exchange-organization-", "x-ms-exchange-forest-"}) {
    if (lower.starts_with(p)) {
      constexpr std::string_view kKept[] = {
          "x-ms-exchange-organization-authas", "x-ms-exchange-organization-authdomain",
          "x-ms-exchange-organization-authmechanism", "x-ms-exchange-organization-authsource"};
      return std::find(std::begin(kKept), std::end(kKept), lower) == std::end(kKept);
    }
  }
  return false;
}

bool IsPlainHeaderName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return g_ascii_isalnum(c) || c == '-' || c == '_'; });
}

void MapInternetHeaders(const HeaderIndex& headers, const EnvelopeOptions& o, const std::string& charset,
                        pst::MessageContent& out) {
  std::set<std::string> seen;
  for (size_t i = 0; i < headers.fields().size() && seen.size() < o.max_header_properties; ++i) {
    GMimeHeader* h = headers.fields()[i].header;
    std::string name = Lower(headers.fields()[i].name);
    if (!IsPlainHeaderName(name) || IsMappedOrExcluded(name) || !seen.insert(name).second) continue;
    std::string value = Trim(DecodeHeaderText(OrEmpty(g_mime_header_get_raw_value(h)), charset));
    if (value.size() > o.max_header_value) value.resize(o.max_header_value);
    pst::NamedProperty np;
    np.guid = tag::kPsInternetHeaders;
    np.is_string = true;
    np.name = name;  // Outlook stores these names lower-cased
    np.value = PropValue::String(DecodeUndeclared(value));
    out.named.push_back(std::move(np));
  }
}

void MapRecipients(GMimeMessage* message, const HeaderIndex& headers, const std::string& charset,
                   pst::MessageContent& out) {
  struct Kind {
    const char* header;
    RecipientKind kind;
    uint16_t display_tag;
    GMimeAddressType parsed;
  };
  int32_t order = 0;
  for (const Kind& k : {Kind{"To", RecipientKind::kTo, tag::kDisplayTo, GMIME_ADDRESS_TYPE_TO},
                        Kind{"Cc", RecipientKind::kCc, tag::kDisplayCc, GMIME_ADDRESS_TYPE_CC},
                        Kind{"Bcc", RecipientKind::kBcc, tag::kDisplayBcc, GMIME_ADDRESS_TYPE_BCC}}) {
    auto boxes = AllMailboxes(headers, k.header, charset, g_mime_message_get_addresses(message, k.parsed));
    out.props[k.display_tag] = PropValue::String(JoinDisplayNames(boxes));
    // Sized once and moved into: a header of 100,000 addresses holds them once, without a copy.
    out.recipients.reserve(out.recipients.size() + boxes.size());
    for (auto& m : boxes) {
      pst::RecipientContent r;
      r.brief = {std::move(m.name), std::move(m.address), static_cast<int32_t>(k.kind), order++,
                 &RecipientRowOf};
      out.recipients.push_back(std::move(r));
    }
  }
}

void MapOriginator(GMimeMessage* message, const HeaderIndex& headers, const std::string& charset,
                   pst::MessageContent& out) {
  auto from = AllMailboxes(headers, "From", charset, g_mime_message_get_from(message));
  auto sender = AllMailboxes(headers, "Sender", charset, g_mime_message_get_sender(message));
  if (from.empty() && sender.empty()) return;  // no originator: nothing is invented
  const Mailbox& representing = from.empty() ? sender.front() : from.front();
  SetAddressGroup(out.props, tag::kSentRepresenting, representing);
  if (sender.empty()) {
    CopyAddressGroup(out.props, tag::kSentRepresenting, tag::kSender);  // the same values, made once
  } else {
    SetAddressGroup(out.props, tag::kSender, sender.front());
  }

  auto reply_to = AllMailboxes(headers, "Reply-To", charset, g_mime_message_get_reply_to(message));
  if (!reply_to.empty()) {
    std::vector<std::vector<uint8_t>> ids;
    std::string names;
    for (const auto& m : reply_to) {
      ids.push_back(OneOffEntryId(m.name, m.address));
      if (!names.empty()) names += ";";
      for (char c : m.name) names += c == ';' ? ',' : c;
    }
    out.props[tag::kReplyRecipientEntries] = PropValue::Binary(FlatEntryList(ids));
    out.props[tag::kReplyRecipientNames] = PropValue::String(names);
  }
}

// Returns the conversation topic it set (UTF-8), if any.
std::optional<std::string> MapSubject(const HeaderIndex& headers, const std::string& charset,
                                      pst::MessageContent& out) {
  std::optional<std::string> topic;
  auto subject = First(headers, "Subject", charset);
  auto thread_topic = First(headers, "Thread-Topic", charset);
  if (subject) {
    std::string s = *subject;
    for (char& c : s) {
      if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    }
    SplitSubject split = SplitSubjectPrefix(s);
    out.props[tag::kSubject] = PropValue::String(s);
    out.props[tag::kSubjectPrefix] = PropValue::String(split.prefix);
    out.props[tag::kNormalizedSubject] = PropValue::String(split.normalized);
    if (!thread_topic && !s.empty()) {
      out.props[tag::kConversationTopic] = PropValue::String(split.normalized);
      topic = split.normalized;
    }
  }
  if (thread_topic) {
    out.props[tag::kConversationTopic] = PropValue::String(*thread_topic);
    topic = *thread_topic;
  }
  return topic;
}

// Submit time from Date; delivery time from the newest Received (the topmost one that carries a readable
// date), else Date, else the fallback. Creation and modification follow the delivery time.
uint64_t MapDates(const HeaderIndex& headers, uint64_t fallback, pst::MessageContent& out) {
  std::optional<uint64_t> date;
  if (auto v = FirstRaw(headers, "Date")) date = ParseMailDate(*v);
  std::optional<uint64_t> received;
  for (size_t i = 0; i < headers.fields().size() && !received; ++i) {
    if (!HeaderIndex::SameName(headers.fields()[i].name, "Received")) continue;
    GMimeHeader* h = headers.fields()[i].header;
    std::string raw = TakeString(g_mime_utils_header_unfold(OrEmpty(g_mime_header_get_raw_value(h)).c_str()));
    received = ParseReceivedDate(raw);
  }
  uint64_t submit = date.value_or(received.value_or(fallback));
  uint64_t delivery = received.value_or(date.value_or(fallback));
  out.props[tag::kClientSubmitTime] = PropValue::Time(submit);
  out.props[tag::kMessageDeliveryTime] = PropValue::Time(delivery);
  out.props[tag::kCreationTime] = PropValue::Time(delivery);
  out.props[tag::kLastModificationTime] = PropValue::Time(delivery);
  return submit;
}

void MapIdentity(const HeaderIndex& headers, uint64_t submit_time, const std::optional<std::string>& topic,
                 pst::MessageContent& out) {
  // The topic as MapSubject stored it, when it reads back unchanged (valid UTF-8 without NULs does).
  const std::string* topic_text = topic && IsValidUtf8(*topic) ? &*topic : nullptr;
  if (auto v = FirstRaw(headers, "Message-ID"); v && !v->empty())
    out.props[tag::kInternetMessageId] = PropValue::String(*v);
  if (auto v = FirstRaw(headers, "In-Reply-To"); v && !v->empty())
    out.props[tag::kInReplyToId] = PropValue::String(*v);
  if (auto v = FirstRaw(headers, "References"); v && !v->empty()) {
    std::string refs = *v;
    constexpr size_t kReferencesLimit = 64 * 1024;  // MAPI lets readers cut References above 64 KB
    if (refs.size() > kReferencesLimit)
      refs.resize(refs.rfind(' ', kReferencesLimit) == std::string::npos ? kReferencesLimit
                                                                         : refs.rfind(' ', kReferencesLimit));
    out.props[tag::kInternetReferences] = PropValue::String(DecodeUndeclared(refs));
  }
  std::vector<uint8_t> index;
  if (auto v = FirstRaw(headers, "Thread-Index")) {
    gsize len = 0;
    guchar* bytes = g_base64_decode(v->c_str(), &len);
    constexpr gsize kIndexHeaderSize = 22;  // a valid index is the 22-byte header plus 5 bytes per reply
    if (bytes && len >= kIndexHeaderSize) index.assign(bytes, bytes + len);
    g_free(bytes);
  }
  if (index.empty()) {
    auto stored = out.props.find(tag::kConversationTopic);
    std::string t = stored == out.props.end() ? ""
                    : topic_text              ? *topic_text
                                              : stored->second.AsString().value_or("");
    index = DerivedConversationIndex(submit_time, t);
  }
  out.props[tag::kConversationIndex] = PropValue::Binary(std::move(index));
  SetConversationId(out.props, topic_text);
}

void MapFlags(const HeaderIndex& headers, pst::MessageContent& out) {
  out.props[tag::kImportance] = PropValue::Int32(ImportanceFromHeaders(headers));
  int32_t priority = 0;
  if (auto v = First(headers, "Priority")) {
    std::string s = Lower(*v);
    priority = s.rfind("urgent", 0) == 0 ? 1 : s.rfind("non-urgent", 0) == 0 ? -1 : 0;
  }
  out.props[tag::kPriority] = PropValue::Int32(priority);
  auto sensitivity = First(headers, "Sensitivity");
  out.props[tag::kSensitivity] = PropValue::Int32(sensitivity ? SensitivityFromHeader(*sensitivity) : 0);

  auto dnt = AllMailboxes(headers, "Disposition-Notification-To", "");
  out.props[tag::kReadReceiptRequested] = PropValue::Bool(!dnt.empty());
  if (!dnt.empty()) SetAddressGroup(out.props, tag::kReadReceipt, dnt.front());
  out.props[tag::kOriginatorDeliveryReportRequested] =
      PropValue::Bool(headers.First("Return-Receipt-To") != nullptr);

  // List-* headers, with the X- spelling as the alternate.
  const std::pair<const char*, uint16_t> kLists[] = {{"List-Help", tag::kListHelp},
                                                     {"List-Subscribe", tag::kListSubscribe},
                                                     {"List-Unsubscribe", tag::kListUnsubscribe}};
  for (const auto& [name, id] : kLists) {
    auto v = First(headers, name);
    if (!v) v = First(headers, std::string("X-") + name);
    if (v) out.props[id] = PropValue::String(*v);
  }
}

}  // namespace

int32_t ImportanceFromHeaders(const HeaderIndex& headers) {
  if (auto v = First(headers, "Importance")) return LevelFromWord(*v, "low", "high");
  if (auto v = First(headers, "X-Priority")) {
    std::string s = Trim(*v);
    if (!s.empty() && s[0] >= '1' && s[0] <= '5') return s[0] <= '2' ? 2 : s[0] == '3' ? 1 : 0;
  }
  if (auto v = First(headers, "X-MSMail-Priority")) return LevelFromWord(*v, "low", "high");
  if (auto v = First(headers, "Priority")) return LevelFromWord(*v, "non-urgent", "urgent");
  return 1;
}

std::vector<GMimeHeader*> HeaderBlock(GMimeMessage* message) {
  std::vector<std::pair<gint64, GMimeHeader*>> placed;  // offsets read once, not at every comparison
  auto add = [&placed](GMimeObject* object) {
    if (!object) return;
    GMimeHeaderList* list = g_mime_object_get_header_list(object);
    int n = g_mime_header_list_get_count(list);
    for (int i = 0; i < n; ++i) {
      GMimeHeader* h = g_mime_header_list_get_header_at(list, i);
      placed.emplace_back(g_mime_header_get_offset(h), h);
    }
  };
  add(GMIME_OBJECT(message));
  add(g_mime_message_get_mime_part(message));
  std::stable_sort(placed.begin(), placed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<GMimeHeader*> out;
  out.reserve(placed.size());
  for (const auto& [offset, h] : placed) out.push_back(h);
  return out;
}

namespace {

// Appends `text` with each LF that no CR precedes made CRLF (a lone CR stays as it was); `prev` is the last
// byte appended so far, so that a CR ending one piece counts for an LF starting the next.
void AppendWithCrlf(std::string& out, std::string_view text, char& prev) {
  for (size_t i = 0; i < text.size();) {
    const auto* lf = static_cast<const char*>(std::memchr(text.data() + i, '\n', text.size() - i));
    const size_t end = lf ? static_cast<size_t>(lf - text.data()) : text.size();
    if (end > i) {
      out.append(text.data() + i, end - i);
      prev = text[end - 1];
    }
    if (!lf) break;
    if (prev != '\r') out += '\r';
    out += '\n';
    prev = '\n';
    i = end + 1;
  }
}

// Exchange's internal stamps, which the block as received leaves out.
bool IsInternalStamp(std::string_view raw_name) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const size_t b = raw_name.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return false;
  const std::string_view name = raw_name.substr(b, raw_name.find_last_not_of(kBlanks) - b + 1);
  constexpr std::string_view kPrefix = "x-ms-exchange-";
  if (name.size() < kPrefix.size() || g_ascii_strncasecmp(name.data(), kPrefix.data(), kPrefix.size()) != 0)
    return false;
  return IsMappedOrExcluded(Lower(name));
}

}  // namespace

std::string TransportHeaders(const std::vector<GMimeHeader*>& headers) {
  std::string out;
  size_t size = 2;
  for (GMimeHeader* h : headers) {
    const char* raw_value = g_mime_header_get_raw_value(h);
    const char* raw_name = g_mime_header_get_raw_name(h);
    size += (raw_value ? std::strlen(raw_value) : 0) + (raw_name ? std::strlen(raw_name) : 0) + 4;
  }
  out.reserve(size + size / 16);
  char prev = 0;
  for (GMimeHeader* h : headers) {
    const char* raw_value = g_mime_header_get_raw_value(h);
    if (!raw_value) continue;  // set by us, not read from the file
    const char* raw_name = g_mime_header_get_raw_name(h);
    const std::string_view name = raw_name ? raw_name : "";
    const std::string_view value = raw_value;
    if (IsInternalStamp(name)) continue;
    // Each header on its own: one Latin-1 line must not turn the UTF-8 lines around it into mojibake.
    // Text that is UTF-8 already (nearly all) stays as appended: the CRs added before LFs cannot split a
    // character, so the appended line is valid exactly when the header is.
    const size_t line_start = out.size();
    const char prev_before = prev;
    AppendWithCrlf(out, name, prev);
    AppendWithCrlf(out, ":", prev);
    AppendWithCrlf(out, value, prev);
    if (!IsValidUtf8(std::string_view(out).substr(line_start))) {
      out.resize(line_start);
      prev = prev_before;
      AppendWithCrlf(out, DecodeUndeclared(std::string(name) + ":" + std::string(value)), prev);
    }
    if (out.size() == line_start || prev != '\n') AppendWithCrlf(out, "\n", prev);
  }
  out += "\r\n";
  return out;
}

std::vector<uint8_t> DerivedConversationIndex(uint64_t filetime, const std::string& topic) {
  std::vector<uint8_t> out;
  out.push_back(0x01);  // reserved, always 1
  for (int shift = 48; shift >= 16; shift -= 8) out.push_back(static_cast<uint8_t>(filetime >> shift));
  std::string key = Lower(topic);
  GChecksum* md5 = g_checksum_new(G_CHECKSUM_MD5);
  g_checksum_update(md5, reinterpret_cast<const guchar*>(key.data()), static_cast<gssize>(key.size()));
  guint8 digest[16];
  gsize len = sizeof digest;
  g_checksum_get_digest(md5, digest, &len);
  g_checksum_free(md5);
  out.insert(out.end(), digest, digest + 16);
  return out;
}

void MapEnvelope(GMimeMessage* message, const EnvelopeOptions& options, pst::MessageContent& out) {
  const HeaderIndex headers(g_mime_object_get_header_list(GMIME_OBJECT(message)));
  out.props[tag::kTransportMessageHeaders] = PropValue::String(TransportHeaders(HeaderBlock(message)));
  // Undeclared 8-bit header text is most likely in the charset the message declares for its text.
  std::string charset = DeclaredTextCharset(g_mime_message_get_mime_part(message));
  const std::optional<std::string> topic = MapSubject(headers, charset, out);
  MapOriginator(message, headers, charset, out);
  MapRecipients(message, headers, charset, out);
  uint64_t submit = MapDates(headers, options.fallback_time, out);
  MapIdentity(headers, submit, topic, out);
  MapFlags(headers, out);
  if (options.internet_header_properties) MapInternetHeaders(headers, options, charset, out);
}

}  // namespace velmora::mime
