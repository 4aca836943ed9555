#include "mime/report_kinds.h"

#include <algorithm>
#include <vector>

#include "mime/addresses.h"
#include "mime/body_choice.h"
#include "mime/charset.h"
#include "mime/encoded_words.h"
#include "mime/gobject_ptr.h"
#include "mime/prop_tags.h"
#include "mime/spill_store.h"

namespace velmora::mime {
namespace {

using pst::PropValue;

// Report properties ([MS-OXOMSG] 2.2.2, [MS-OXPROPS]).
constexpr uint16_t kDeliverTime = 0x0010;
constexpr uint16_t kReportTime = 0x0032;
constexpr uint16_t kOriginalSubject = 0x0049;
constexpr uint16_t kReportDisposition = 0x0080;
constexpr uint16_t kReportDispositionMode = 0x0081;
constexpr uint16_t kNdrReasonCode = 0x0C04;
constexpr uint16_t kNdrDiagCode = 0x0C05;
constexpr uint16_t kSupplementaryInfo = 0x0C1B;
constexpr uint16_t kOriginalMessageId = 0x1046;

constexpr int32_t kReasonTransferFailed = 0;  // MAPI_REASON_TRANSFER_FAILED
constexpr int32_t kDiagNoDiagnostic = -1;     // MAPI_DIAG_NO_DIAGNOSTIC
constexpr size_t kMaxStatusBytes = 1u << 20;  // the machine-readable part; more is not read
constexpr size_t kMaxReportRecipients = 10000;

using Fields = std::vector<std::pair<std::string, std::string>>;  // lower-case name, value

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// The field groups of a status body: header-style fields, groups split by empty lines, folded lines joined.
std::vector<Fields> FieldGroups(const std::string& text) {
  std::vector<Fields> groups(1);
  size_t at = 0;
  while (at <= text.size()) {
    size_t eol = text.find('\n', at);
    std::string line = text.substr(at, eol == std::string::npos ? std::string::npos : eol - at);
    at = eol == std::string::npos ? text.size() + 1 : eol + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Trim(line).empty()) {
      if (!groups.back().empty()) groups.emplace_back();
      continue;
    }
    if ((line[0] == ' ' || line[0] == '\t') && !groups.back().empty()) {
      groups.back().back().second += " " + Trim(line);
      continue;
    }
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    groups.back().emplace_back(Lower(Trim(line.substr(0, colon))), Trim(line.substr(colon + 1)));
  }
  if (groups.back().empty()) groups.pop_back();
  return groups;
}

std::string Field(const Fields& f, const std::string& name) {
  for (const auto& [n, v] : f)
    if (n == name) return v;
  return "";
}

// "rfc822; someone@example.com" -> the address.
std::string TypedAddress(const std::string& value) {
  size_t semi = value.find(';');
  std::string a = Trim(semi == std::string::npos ? value : value.substr(semi + 1));
  if (a.size() >= 2 && a.front() == '<' && a.back() == '>') a = a.substr(1, a.size() - 2);
  return a;
}

int Severity(const std::string& action) {
  static const char* kOrder[] = {"delivered", "expanded", "relayed", "delayed", "failed"};
  for (int i = 0; i < 5; ++i)
    if (action == kOrder[i]) return i;
  return -1;
}

std::string PartText(GMimeObject* part) {
  if (GMIME_IS_PART(part)) {
    std::string bytes = ReadPartContent(GMIME_PART(part), kMaxStatusBytes);
    return DecodeUndeclared(bytes);
  }
  if (GMIME_IS_MESSAGE_PART(
          part)) {  // some parsers take message/* for a whole message: its text is the headers
    GMimeMessage* m = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
    if (!m) return "";
    std::string text = TakeString(g_mime_object_to_string(GMIME_OBJECT(m), nullptr));
    return DecodeUndeclared(text.substr(0, kMaxStatusBytes));
  }
  return "";
}

// The subject of the message the report is about, from its copy or its headers.
std::string OriginalSubject(GMimeMultipart* report) {
  for (int i = 0; i < g_mime_multipart_get_count(report); ++i) {
    GMimeObject* p = g_mime_multipart_get_part(report, i);
    std::string type = MimeTypeOf(p);
    if (GMIME_IS_MESSAGE_PART(p) && (type == "message/rfc822" || type == "message/global")) {
      GMimeMessage* m = g_mime_message_part_get_message(GMIME_MESSAGE_PART(p));
      GMimeHeader* h =
          m ? g_mime_header_list_get_header(g_mime_object_get_header_list(GMIME_OBJECT(m)), "Subject")
            : nullptr;
      if (m) return h ? Trim(DecodeHeaderText(OrEmpty(g_mime_header_get_raw_value(h)))) : std::string();
    }
    if (type == "text/rfc822-headers" && GMIME_IS_PART(p)) {
      for (const Fields& g : FieldGroups(PartText(p))) {
        std::string s = Field(g, "subject");
        if (!s.empty()) return DecodeHeaderText(s);
      }
    }
  }
  return "";
}

void AddRecipient(const Fields& f, int32_t order, bool failed, uint64_t sent, pst::MessageContent& out) {
  Mailbox m;
  m.address = TypedAddress(Field(f, "final-recipient"));
  if (m.address.empty()) m.address = TypedAddress(Field(f, "original-recipient"));
  m.name = Field(f, "x-display-name");
  if (m.name.empty()) m.name = m.address;
  pst::RecipientContent r;
  r.props = RecipientRow(m, RecipientKind::kTo, order);
  std::string info = Field(f, "x-supplementary-info");
  if (info.empty()) {
    // "<" remote-mta " #" status [" " diagnostic] ">"
    std::string mta = Field(f, "remote-mta");
    std::string status = Field(f, "status");
    status = status.substr(0, status.find_first_of(" \t("));
    std::string diagnostic = Field(f, "diagnostic-code");
    info = "<" + (mta.empty() ? "" : TypedAddress(mta) + " ") + "#" + status +
           (diagnostic.empty() ? "" : " " + diagnostic) + ">";
  }
  r.props[kSupplementaryInfo] = PropValue::String(info);
  r.props[kReportTime] = PropValue::Time(sent);
  if (failed) {
    r.props[kNdrReasonCode] = PropValue::Int32(kReasonTransferFailed);
    r.props[kNdrDiagCode] = PropValue::Int32(kDiagNoDiagnostic);
  } else {
    r.props[kDeliverTime] = PropValue::Time(sent);
  }
  out.recipients.push_back(std::move(r));
}

bool MapDeliveryStatus(const std::string& text, uint64_t sent, pst::MessageContent& out) {
  std::vector<Fields> groups = FieldGroups(text);
  if (groups.size() < 2) return false;  // per-message fields, then one group per recipient
  std::string top;
  for (size_t i = 1; i < groups.size(); ++i) {
    std::string action = Lower(Field(groups[i], "action"));
    if (Severity(action) > Severity(top)) top = action;
  }
  if (top.empty()) return false;
  std::string base = out.props[tag::kMessageClass].AsString().value_or("IPM.Note");
  out.props[tag::kMessageClass] = PropValue::String("REPORT." + base + "." + ReportClassSuffix(top));
  int32_t order = static_cast<int32_t>(out.recipients.size());
  for (size_t i = 1; i < groups.size() && out.recipients.size() < kMaxReportRecipients; ++i)
    if (Lower(Field(groups[i], "action")) == top)
      AddRecipient(groups[i], order++, top == "failed", sent, out);
  return true;
}

bool MapDisposition(const std::string& text, pst::MessageContent& out) {
  std::vector<Fields> groups = FieldGroups(text);
  if (groups.empty()) return false;
  // "manual-action/MDN-sent-manually; displayed"
  std::string disposition = Field(groups[0], "disposition");
  size_t semi = disposition.find(';');
  if (semi == std::string::npos) return false;
  std::string mode = Trim(disposition.substr(0, semi));
  std::string type = Lower(Trim(disposition.substr(semi + 1)));
  type = type.substr(0, type.find_first_of("/ \t"));
  std::string base = out.props[tag::kMessageClass].AsString().value_or("IPM.Note");
  out.props[tag::kMessageClass] =
      PropValue::String("REPORT." + base + (type == "displayed" ? ".IPNRN" : ".IPNNRN"));
  out.props[kReportDisposition] = PropValue::String(type);
  out.props[kReportDispositionMode] = PropValue::String(mode);
  std::string original_id = Field(groups[0], "original-message-id");
  if (!original_id.empty()) out.props[kOriginalMessageId] = PropValue::String(original_id);
  return true;
}

}  // namespace

std::string ReportClassSuffix(const std::string& action) {
  if (action == "failed") return "NDR";
  if (action == "delayed") return "Delayed.DR";
  if (action == "relayed") return "Relayed.DR";
  if (action == "expanded") return "Expanded.DR";
  return "DR";
}

GMimeObject* MapReport(GMimeObject* root, uint64_t sent, pst::MessageContent& out) {
  if (!root || !GMIME_IS_MULTIPART(root) || MimeTypeOf(root) != "multipart/report") return nullptr;
  auto* report = GMIME_MULTIPART(root);
  for (int i = 0; i < g_mime_multipart_get_count(report); ++i) {
    GMimeObject* p = g_mime_multipart_get_part(report, i);
    std::string type = MimeTypeOf(p);
    bool delivery = type == "message/delivery-status" || type == "message/global-delivery-status";
    bool disposition =
        type == "message/disposition-notification" || type == "message/global-disposition-notification";
    if (!delivery && !disposition) continue;
    // The report's sent time, as its recipients' report and delivery times.
    sent = out.props.count(tag::kClientSubmitTime) ? out.props[tag::kClientSubmitTime].AsTime().value_or(sent)
                                                   : sent;
    std::string text = PartText(p);
    if (!(delivery ? MapDeliveryStatus(text, sent, out) : MapDisposition(text, out))) {
      out.notes.push_back("the report's status part could not be read; the message is kept as a note");
      return nullptr;
    }
    out.props[kReportTime] = PropValue::Time(sent);
    std::string subject = OriginalSubject(report);
    if (!subject.empty()) out.props[kOriginalSubject] = PropValue::String(WithoutNuls(subject));
    return p;
  }
  return nullptr;
}

}  // namespace velmora::mime
