#include "mime/addresses.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string_view>

#include "mime/entry_ids.h"
#include "mime/gobject_ptr.h"

namespace velmora::mime {
namespace {

constexpr int32_t kMapiMailUser = 6;      // PidTagObjectType of a messaging user
constexpr int32_t kDtMailUser = 0;        // PidTagDisplayType of a messaging user
constexpr int32_t kRecipSendable = 1;     // PidTagRecipientFlags
constexpr int32_t kNoTrackStatus = 0;     // PidTagRecipientTrackStatus
constexpr int32_t kInternetEncoding = 0;  // PidTagSendInternetEncoding: let the transport choose

std::string Trimmed(std::string s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Names carry no line breaks or control characters in a recipient table.
std::string CleanName(std::string s) {
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return Trimmed(std::move(s));
}

// "Name user@host" without angle brackets leaves GMime with a name and no address: the last word that
// looks like an address is taken as the address, the rest stays the name.
void SalvageAddress(Mailbox& m) {
  size_t at = m.name.rfind('@');
  if (at == std::string::npos) return;
  size_t start = m.name.find_last_of(" \t<\"", at);
  start = start == std::string::npos ? 0 : start + 1;
  size_t end = m.name.find_first_of(" \t>\"", at);
  if (end == std::string::npos) end = m.name.size();
  m.address = m.name.substr(start, end - start);
  m.name = Trimmed(m.name.substr(0, start) + m.name.substr(end));
  while (!m.name.empty() && (m.name.back() == '<' || m.name.back() == '"')) m.name.pop_back();
  m.name = Trimmed(m.name);
}

void Collect(InternetAddressList* list, std::vector<Mailbox>& out, int depth) {
  if (!list || depth > 8) return;  // groups do not nest in RFC 5322; tolerate a little, never recurse deeply
  int n = internet_address_list_length(list);
  for (int i = 0; i < n; ++i) {
    InternetAddress* a = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(a)) {
      Collect(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(a)), out, depth + 1);
      continue;
    }
    if (!INTERNET_ADDRESS_IS_MAILBOX(a)) continue;
    const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a));
    const char* name = internet_address_get_name(a);
    Mailbox m{CleanName(name ? name : ""), Trimmed(addr ? addr : "")};
    if (m.address.empty()) SalvageAddress(m);
    if (m.address.empty() && m.name.empty()) continue;
    if (m.name.empty()) m.name = m.address;
    out.push_back(std::move(m));
  }
}

bool HasAt(std::string_view s) {
  return s.find('@') != std::string_view::npos;
}

std::vector<Mailbox> ParseWithGMime(const std::string& value) {
  GObjectPtr<InternetAddressList> list(internet_address_list_parse(ImporterParserOptions(), value.c_str()));
  std::vector<Mailbox> out;
  Collect(list.get(), out, 0);
  return out;
}

// The end of the comment that opens at `open` ("(" ... ")", nested, with quoted pairs); npos when the
// comment never closes (then the "(" is an ordinary character).
size_t CommentEnd(std::string_view s, size_t open) {
  int depth = 0;
  for (size_t i = open; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;
    } else if (s[i] == '(') {
      ++depth;
    } else if (s[i] == ')' && --depth == 0) {
      return i;
    }
  }
  return std::string_view::npos;
}

// The mailboxes of an address list as separate texts: split at commas outside quotes, angle brackets and
// closed comments; a group's name ("Team:") and its closing ";" are not part of any mailbox. Each mailbox is
// a run of `s` (from the last separator to the next), so it is returned as a view into `s`.
std::vector<std::string_view> SplitMailboxes(std::string_view s) {
  std::vector<std::string_view> out;
  size_t begin = 0;  // where the current mailbox's text starts
  bool quoted = false;
  bool angle = false;
  auto cur = [&](size_t end) { return s.substr(begin, end - begin); };
  auto flush = [&](size_t end) {
    if (cur(end).find_first_not_of(" \t") != std::string_view::npos) out.push_back(cur(end));
    begin = end + 1;
  };
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (quoted) {
      if (c == '\\' && i + 1 < s.size()) ++i;
      if (c == '"') quoted = false;
      continue;
    }
    if (c == '"') {
      quoted = true;
    } else if (c == '<') {
      angle = true;
    } else if (c == '>') {
      angle = false;
    } else if (c == '(' && !angle) {
      size_t end = CommentEnd(s, i);
      if (end != std::string_view::npos) {
        i = end;
        continue;
      }
    } else if (!angle && (c == ',' || c == ';')) {
      flush(i);
      continue;
    } else if (!angle && c == ':' && !HasAt(cur(i))) {
      begin = i + 1;  // a group's display name
      continue;
    }
  }
  flush(s.size());
  return out;
}

// An address picked out of text that no parser reads: "<addr>" anywhere, else the word holding an "@".
std::optional<Mailbox> PickAddress(const std::string& text) {
  Mailbox m;
  size_t open = text.find('<');
  size_t close = open == std::string::npos ? std::string::npos : text.find('>', open);
  if (close != std::string::npos && HasAt(text.substr(open, close - open))) {
    m.address = Trimmed(text.substr(open + 1, close - open - 1));
    m.name = text.substr(0, open) + text.substr(close + 1);
  } else {
    m.name = text;
    SalvageAddress(m);
    if (!HasAt(m.address)) return std::nullopt;
  }
  std::string name;
  for (char c : m.name) {
    if (c != '"' && c != '(' && c != ')') name += c;
  }
  m.name = CleanName(name);
  if (m.name.empty()) m.name = m.address;
  return m;
}

// A header longer than this is parsed some addresses at a time, so that GMime's objects for all of them
// never exist at once (for a To of 100,000 people they take some 25 MB, next to the message's own parse of
// the same header). Each batch is whole addresses as SplitMailboxes cuts them; a group gives its members
// either way.
constexpr size_t kParsedWholeUpTo = 256 * 1024;
constexpr size_t kAddressesPerBatch = 1000;

std::vector<Mailbox> ParseInBatches(const std::vector<std::string_view>& pieces) {
  std::vector<Mailbox> out;
  out.reserve(pieces.size());
  for (size_t first = 0; first < pieces.size(); first += kAddressesPerBatch) {
    std::string batch;
    for (size_t i = first; i < std::min(pieces.size(), first + kAddressesPerBatch); ++i) {
      if (!batch.empty()) batch += ", ";
      batch += pieces[i];
    }
    for (auto& m : ParseWithGMime(batch)) out.push_back(std::move(m));
  }
  return out;
}

// PidTagDisplayNamePrintable is the name when it is 7-bit; when it is not, the address stands for it.
bool NameIsSevenBit(std::string_view name) {
  for (unsigned char c : name) {
    if (c >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::vector<Mailbox> ParseMailboxes(const std::string& value, InternetAddressList* parsed) {
  std::vector<std::string_view> pieces = SplitMailboxes(value);
  std::vector<Mailbox> whole = value.size() > kParsedWholeUpTo ? ParseInBatches(pieces)
                               : parsed                        ? MailboxesOf(parsed)
                                                               : ParseWithGMime(value);
  size_t wanted = 0, found = 0;
  for (const auto& p : pieces) wanted += HasAt(p);
  for (const auto& m : whole) found += HasAt(m.address);
  bool fragment = false;  // an address that is a word of a display name while the text holds real ones
  for (const auto& m : whole) fragment = fragment || (!HasAt(m.address) && wanted > 0);
  if (whole.empty() && wanted == 0) {
    // Only names ("From: John Doe"): a mail user still sees who it was, without an address.
    for (const auto& p : pieces) {
      std::string name;
      for (char c : p) {
        if (c != '"') name += c;
      }
      name = CleanName(name);
      if (!name.empty()) whole.push_back({name, ""});
    }
    return whole;
  }
  if (found >= wanted && !fragment) return whole;
  std::vector<Mailbox> out;
  for (std::string_view view : pieces) {
    const std::string p(view);
    std::vector<Mailbox> boxes = ParseWithGMime(p);
    bool good = !boxes.empty();
    for (const auto& m : boxes) good = good && (HasAt(m.address) || !HasAt(p));
    if (good) {
      for (auto& m : boxes) out.push_back(std::move(m));
    } else if (auto m = PickAddress(p)) {
      out.push_back(std::move(*m));
    }
  }
  return out;
}

std::vector<Mailbox> MailboxesOf(InternetAddressList* list) {
  std::vector<Mailbox> out;
  Collect(list, out, 0);
  return out;
}

namespace {

// The cells of a recipient row, in ascending order (each is made once, before any is set).
constexpr uint16_t kRecipientRowIds[] = {
    tag::kRecipientType,    tag::kResponsibility,       tag::kRecordKey,           tag::kObjectType,
    tag::kEntryId,          tag::kDisplayName,          tag::kAddressType,         tag::kEmailAddress,
    tag::kSearchKey,        tag::kDisplayType,          tag::kSmtpAddress,         tag::kDisplayNamePrintable,
    tag::kSendRichInfo,     tag::kSendInternetEncoding, tag::kRecipientOrder,      tag::kRecipientDisplayName,
    tag::kRecipientEntryId, tag::kRecipientFlags,       tag::kRecipientTrackStatus};

constexpr size_t kRecipientCells = std::size(kRecipientRowIds);
static_assert(std::is_sorted(std::begin(kRecipientRowIds), std::end(kRecipientRowIds)));

// The position of a cell in kRecipientRowIds (found while compiling).
consteval size_t Cell(uint16_t id) {
  size_t i = 0;
  while (kRecipientRowIds[i] != id) ++i;
  return i;
}

void MakeRecipientRow(const std::string& name, const std::string& address, RecipientKind kind, int32_t order,
                      pst::PropertyMap& row) {
  using pst::PropValue;
  // Every cell exists before the first is set: adding a key moves the map's entries, and the cells below
  // are copied from one another. A reused row (the usual case) holds them already; then each is found by
  // one walk over the row, whose keys are in the same ascending order.
  const bool has_all =
      row.size() >= kRecipientCells && std::all_of(std::begin(kRecipientRowIds), std::end(kRecipientRowIds),
                                                   [&row, it = row.begin()](uint16_t id) mutable {
                                                     while (it != row.end() && it->first < id) ++it;
                                                     return it != row.end() && it->first == id;
                                                   });
  if (!has_all) {
    for (uint16_t id : kRecipientRowIds) row.try_emplace(id);
  }
  PropValue* cells[kRecipientCells];
  auto it = row.begin();
  for (size_t k = 0; k < kRecipientCells; ++k) {
    while (it->first != kRecipientRowIds[k]) ++it;
    cells[k] = &it->second;
  }
  auto cell = [&cells](size_t index) -> PropValue& { return *cells[index]; };
  // The name and the address are converted to UTF-16 once each; their second cells are copies.
  PropValue& name_cell = cell(Cell(tag::kDisplayName));
  PropValue& address_cell = cell(Cell(tag::kEmailAddress));
  PropValue& entry_id = cell(Cell(tag::kEntryId));
  name_cell.SetString(name);
  address_cell.SetString(address);
  entry_id.SetBytes(pst::kPtypBinary, {});
  MakeOneOffEntryId(name, address, kOneOffEntryIdFlags, entry_id.bytes);
  cell(Cell(tag::kRecipientType)).SetInt32(static_cast<int32_t>(kind));
  cell(Cell(tag::kAddressType)).SetString("SMTP");
  cell(Cell(tag::kSmtpAddress)) = address_cell;
  PropValue& record_key = cell(Cell(tag::kRecordKey));
  record_key = entry_id;
  SetOneOffFlags(record_key.bytes, kOneOffRecordKeyFlags);
  PropValue& search_key = cell(Cell(tag::kSearchKey));
  search_key.SetBytes(pst::kPtypBinary, {});
  MakeSmtpSearchKey(address, search_key.bytes);
  cell(Cell(tag::kObjectType)).SetInt32(kMapiMailUser);
  cell(Cell(tag::kDisplayType)).SetInt32(kDtMailUser);
  cell(Cell(tag::kDisplayNamePrintable)) = NameIsSevenBit(name) ? name_cell : address_cell;
  cell(Cell(tag::kSendRichInfo)).SetBool(false);  // matches the one-off's "no rich info" flag
  cell(Cell(tag::kSendInternetEncoding)).SetInt32(kInternetEncoding);
  cell(Cell(tag::kResponsibility)).SetBool(true);  // received mail: the transport has handled it
  cell(Cell(tag::kRecipientDisplayName)) = name_cell;
  cell(Cell(tag::kRecipientEntryId)) = entry_id;
  cell(Cell(tag::kRecipientFlags)).SetInt32(kRecipSendable);
  cell(Cell(tag::kRecipientTrackStatus)).SetInt32(kNoTrackStatus);
  cell(Cell(tag::kRecipientOrder)).SetInt32(order);
}

}  // namespace

pst::PropertyMap RecipientRow(const Mailbox& m, RecipientKind kind, int32_t order) {
  pst::PropertyMap row;
  MakeRecipientRow(m.name, m.address, kind, order, row);
  return row;
}

void RecipientRowOf(const pst::RecipientContent::Brief& brief, pst::PropertyMap& row) {
  MakeRecipientRow(brief.name, brief.address, static_cast<RecipientKind>(brief.type), brief.order, row);
}

void SetAddressGroup(pst::PropertyMap& props, const tag::AddressGroup& g, const Mailbox& m) {
  using pst::PropValue;
  props[g.name] = PropValue::String(m.name);
  props[g.address_type] = PropValue::String("SMTP");
  props[g.email] = PropValue::String(m.address);
  props[g.entry_id] = PropValue::Binary(OneOffEntryId(m.name, m.address));
  props[g.search_key] = PropValue::Binary(SmtpSearchKey(m.address));
  props[g.smtp] = PropValue::String(m.address);
}

void CopyAddressGroup(pst::PropertyMap& props, const tag::AddressGroup& from, const tag::AddressGroup& to) {
  for (auto [source, target] : {std::pair{from.name, to.name}, std::pair{from.address_type, to.address_type},
                                std::pair{from.email, to.email}, std::pair{from.entry_id, to.entry_id},
                                std::pair{from.search_key, to.search_key}, std::pair{from.smtp, to.smtp}}) {
    pst::PropValue value = props[source];  // copied out first: adding `target` may move the map's entries
    props[target] = std::move(value);
  }
}

std::string JoinDisplayNames(const std::vector<Mailbox>& mailboxes) {
  std::string out;
  for (const auto& m : mailboxes) {
    if (!out.empty()) out += "; ";
    for (char c : m.name) out += c == ';' ? ',' : c;
  }
  return out;
}

}  // namespace velmora::mime
