#include "mime/own_address.h"

#include <glib.h>

#include "mime/addresses.h"
#include "mime/prop_tags.h"

namespace velmora::mime {

namespace {
bool EndsAddress(char c) {
  return c == ' ' || c == '\t' || c == '<' || c == '>' || c == '(' || c == ')' || c == '"' || c == '\'' ||
         c == ',' || c == ';' || c == '[' || c == ']';
}
}  // namespace

std::string OwnAddressIn(const std::string& name) {
  size_t at = name.find('@');
  if (at == std::string::npos) return "";
  size_t begin = at, end = at + 1;
  while (begin > 0 && !EndsAddress(name[begin - 1])) --begin;
  while (end < name.size() && !EndsAddress(name[end])) ++end;
  if (begin == at || end == at + 1) return "";  // no local part or no domain
  return name.substr(begin, end - begin);
}

void SetToMeFlags(const std::string& own_address, pst::MessageContent& content) {
  if (own_address.empty()) return;
  bool to_me = false, cc_me = false;
  for (const pst::RecipientContent& r : content.recipients) {
    std::string address;
    int32_t type = 0;
    if (r.is_brief()) {
      address = r.brief.address;
      type = r.brief.type;
    } else {
      auto a = r.props.find(tag::kSmtpAddress);
      auto t = r.props.find(tag::kRecipientType);
      if (a == r.props.end() || t == r.props.end()) continue;
      address = a->second.AsString().value_or("");
      type = t->second.AsInt32().value_or(0);
    }
    if (g_ascii_strcasecmp(address.c_str(), own_address.c_str()) != 0) continue;
    to_me = to_me || type == static_cast<int32_t>(RecipientKind::kTo);
    cc_me = cc_me || type == static_cast<int32_t>(RecipientKind::kCc);
  }
  content.props[tag::kMessageToMe] = pst::PropValue::Bool(to_me);
  content.props[tag::kMessageCcMe] = pst::PropValue::Bool(cc_me);
}

}  // namespace velmora::mime
