#include "mime/envelope.h"

#include <algorithm>
#include <optional>
#include <set>

#include "mime/addresses.h"
#include "mime/charset.h"
#include "mime/conversation.h"
#include "mime/dates.h"
#include "mime/encoded_words.h"
#include "mime/entry_ids.h"
#include "mime/gobject_ptr.h"
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
std::optional<std::string> First(GMimeHeaderList* headers, const char* name,
                                 const std::string& fallback = "") {
  GMimeHeader* h = g_mime_header_list_get_header(headers, name);
  if (!h) return std::nullopt;
  return Trim(DecodeHeaderText(OrEmpty(g_mime_header_get_raw_value(h)), fallback));
}

// Raw (undecoded, unfolded) value of the first header with this name: for ids, dates and lists of ids.
std::optional<std::string> FirstRaw(GMimeHeaderList* headers, const char* name) {
  GMimeHeader* h = g_mime_header_list_get_header(headers, name);
  if (!h) return std::nullopt;
  std::string raw = TakeString(g_mime_utils_header_unfold(OrEmpty(g_mime_header_get_raw_value(h)).c_str()));
  return Trim(DecodeUndeclared(raw));
}

// Every mailbox of every header with this name, in order (duplicated To lines are merged).
std::vector<Mailbox> AllMailboxes(GMimeHeaderList* headers, const char* name, const std::string& fallback) {
  std::vector<Mailbox> out;
  int n = g_mime_header_list_get_count(headers);
  for (int i = 0; i < n; ++i) {
    GMimeHeader* h = g_mime_header_list_get_header_at(headers, i);
    if (g_ascii_strcasecmp(g_mime_header_get_name(h), name) != 0 || !g_mime_header_get_raw_value(h)) continue;
    for (auto& m : ParseMailboxes(PrepareStructuredHeader(g_mime_header_get_raw_value(h), fallback)))
      out.push_back(std::move(m));
  }
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
bool IsMappedOrExcluded(const std::string& lower) {
  static const std::set<std::string> kNames = {"from",
                                               "sender",
                                               "to",
                                               "cc",
                                               "bcc",
                                               "reply-to",
                                               "subject",
                                               "date",
                                               "message-id",
                                               "in-reply-to",
                                               "references",
                                               "importance",
                                               "priority",
                                               "x-priority",
                                               "x-msmail-priority",
                                               "sensitivity",
                                               "disposition-notification-to",
                                               "return-receipt-to",
                                               "thread-topic",
                                               "thread-index",
                                               "list-help",
                                               "list-subscribe",
                                               "list-unsubscribe",
                                               "x-list-help",
                                               "x-list-subscribe",
                                               "x-list-unsubscribe",
                                               "received",
                                               "resent-from",
                                               "resent-sender",
                                               "resent-date",
                                               "resent-message-id",
                                               "content-type",
                                               "content-disposition",
                                               "content-description",
                                               "content-transfer-encoding",
                                               "content-id",
                                               "content-md5",
                                               "mime-version",
                                               "return-path",
                                               "comments",
                                               "adhoc",
                                               "apparently-to",
                                               "approved",
                                               "control",
                                               "distribution",
                                               "encoding",
                                               "followup-to",
                                               "lines",
                                               "bytes",
                                               "article",
                                               "supercedes",
                                               "newsgroups",
                                               "nntp-posting-host",
                                               "organization",
                                               "path",
                                               "rr",
                                               "summary",
                                               "trace",
                                               "encrypted",
                                               "x-mimeole",
                                               "x-ms-tnef-correlator"};
  if (kNames.count(lower)) return true;
  for (const char* p : {"x-ms-exchange-organization-", "x-ms-exchange-forest-"}) {
    if (lower.rfind(p, 0) == 0) {
      static const std::set<std::string> kKept = {
          "x-ms-exchange-organization-authas", "x-ms-exchange-organization-authdomain",
          "x-ms-exchange-organization-authmechanism", "x-ms-exchange-organization-authsource"};
      return kKept.count(lower) == 0;
    }
  }
  return false;
}

bool IsPlainHeaderName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return g_ascii_isalnum(c) || c == '-' || c == '_'; });
}

void MapInternetHeaders(GMimeHeaderList* headers, const EnvelopeOptions& o, const std::string& charset,
                        pst::MessageContent& out) {
  std::set<std::string> seen;
  int n = g_mime_header_list_get_count(headers);
  for (int i = 0; i < n && seen.size() < o.max_header_properties; ++i) {
    GMimeHeader* h = g_mime_header_list_get_header_at(headers, i);
    std::string name = Lower(OrEmpty(g_mime_header_get_name(h)));
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

void MapRecipients(GMimeHeaderList* headers, const std::string& charset, pst::MessageContent& out) {
  struct Kind {
    const char* header;
    RecipientKind kind;
    uint16_t display_tag;
  };
  int32_t order = 0;
  for (const Kind& k :
       {Kind{"To", RecipientKind::kTo, tag::kDisplayTo}, Kind{"Cc", RecipientKind::kCc, tag::kDisplayCc},
        Kind{"Bcc", RecipientKind::kBcc, tag::kDisplayBcc}}) {
    auto boxes = AllMailboxes(headers, k.header, charset);
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

void MapOriginator(GMimeHeaderList* headers, const std::string& charset, pst::MessageContent& out) {
  auto from = AllMailboxes(headers, "From", charset);
  auto sender = AllMailboxes(headers, "Sender", charset);
  if (from.empty() && sender.empty()) return;  // no originator: nothing is invented
  const Mailbox& representing = from.empty() ? sender.front() : from.front();
  SetAddressGroup(out.props, tag::kSentRepresenting, representing);
  SetAddressGroup(out.props, tag::kSender, sender.empty() ? representing : sender.front());

  auto reply_to = AllMailboxes(headers, "Reply-To", charset);
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

void MapSubject(GMimeHeaderList* headers, const std::string& charset, pst::MessageContent& out) {
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
    if (!thread_topic && !s.empty()) out.props[tag::kConversationTopic] = PropValue::String(split.normalized);
  }
  if (thread_topic) out.props[tag::kConversationTopic] = PropValue::String(*thread_topic);
}

// Submit time from Date; delivery time from the newest Received (the topmost one that carries a readable
// date), else Date, else the fallback. Creation and modification follow the delivery time.
uint64_t MapDates(GMimeHeaderList* headers, uint64_t fallback, pst::MessageContent& out) {
  std::optional<uint64_t> date;
  if (auto v = FirstRaw(headers, "Date")) date = ParseMailDate(*v);
  std::optional<uint64_t> received;
  int n = g_mime_header_list_get_count(headers);
  for (int i = 0; i < n && !received; ++i) {
    GMimeHeader* h = g_mime_header_list_get_header_at(headers, i);
    if (g_ascii_strcasecmp(g_mime_header_get_name(h), "Received") != 0) continue;
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

void MapIdentity(GMimeHeaderList* headers, uint64_t submit_time, pst::MessageContent& out) {
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
    auto topic = out.props.find(tag::kConversationTopic);
    std::string t = topic != out.props.end() ? topic->second.AsString().value_or("") : "";
    index = DerivedConversationIndex(submit_time, t);
  }
  out.props[tag::kConversationIndex] = PropValue::Binary(std::move(index));
  SetConversationId(out.props);
}

void MapFlags(GMimeHeaderList* headers, pst::MessageContent& out) {
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
      PropValue::Bool(g_mime_header_list_contains(headers, "Return-Receipt-To"));

  // List-* headers, with the X- spelling as the alternate.
  const std::pair<const char*, uint16_t> kLists[] = {{"List-Help", tag::kListHelp},
                                                     {"List-Subscribe", tag::kListSubscribe},
                                                     {"List-Unsubscribe", tag::kListUnsubscribe}};
  for (const auto& [name, id] : kLists) {
    auto v = First(headers, name);
    if (!v) v = First(headers, (std::string("X-") + name).c_str());
    if (v) out.props[id] = PropValue::String(*v);
  }
}

}  // namespace

int32_t ImportanceFromHeaders(GMimeHeaderList* headers) {
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
  std::vector<GMimeHeader*> out;
  auto add = [&out](GMimeObject* object) {
    if (!object) return;
    GMimeHeaderList* list = g_mime_object_get_header_list(object);
    int n = g_mime_header_list_get_count(list);
    for (int i = 0; i < n; ++i) out.push_back(g_mime_header_list_get_header_at(list, i));
  };
  add(GMIME_OBJECT(message));
  add(g_mime_message_get_mime_part(message));
  std::stable_sort(out.begin(), out.end(), [](GMimeHeader* a, GMimeHeader* b) {
    return g_mime_header_get_offset(a) < g_mime_header_get_offset(b);
  });
  return out;
}

std::string TransportHeaders(const std::vector<GMimeHeader*>& headers) {
  std::string raw;
  for (GMimeHeader* h : headers) {
    const char* raw_value = g_mime_header_get_raw_value(h);
    if (!raw_value) continue;  // set by us, not read from the file
    std::string name = OrEmpty(g_mime_header_get_raw_name(h));
    std::string value = raw_value;
    std::string lower = Lower(Trim(name));
    if (IsMappedOrExcluded(lower) && lower.rfind("x-ms-exchange-", 0) == 0) continue;  // internal stamps
    // Each header on its own: one Latin-1 line must not turn the UTF-8 lines around it into mojibake.
    std::string line = DecodeUndeclared(name + ":" + value);
    if (line.empty() || line.back() != '\n') line += '\n';
    raw += line;
  }
  // CRLF line ends; a lone CR stays as it was.
  std::string out;
  out.reserve(raw.size() + raw.size() / 16 + 2);
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) out += '\r';
    out += raw[i];
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
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
  out.props[tag::kTransportMessageHeaders] = PropValue::String(TransportHeaders(HeaderBlock(message)));
  // Undeclared 8-bit header text is most likely in the charset the message declares for its text.
  std::string charset = DeclaredTextCharset(g_mime_message_get_mime_part(message));
  MapSubject(headers, charset, out);
  MapOriginator(headers, charset, out);
  MapRecipients(headers, charset, out);
  uint64_t submit = MapDates(headers, options.fallback_time, out);
  MapIdentity(headers, submit, out);
  MapFlags(headers, out);
  if (options.internet_header_properties) MapInternetHeaders(headers, options, charset, out);
}

}  // namespace velmora::mime
