#include "pst/messaging/message/size_limit.h"

#include <cstdio>

#include "pst/tags/prop_tags.h"

namespace velmora::pst {
namespace {

std::string NameOf(const AttachmentContent& a) {
  for (uint16_t id : {ids::kAttachLongFilename, ids::kAttachFilename, ids::kDisplayName}) {
    auto it = a.props.find(id);
    if (it == a.props.end()) continue;
    if (auto name = it->second.AsString(); name && !name->empty()) return *name;
  }
  return "";
}

Status TooLarge(const std::string& what, uint64_t size) {
  return Status::InvalidArgument(what + " (" + SizeText(size) +
                                 ") is larger than a PST can hold (4 GB per attachment)");
}

}  // namespace

std::string SizeText(uint64_t bytes) {
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  if (bytes < 1000) return std::to_string(bytes) + " bytes";
  double value = static_cast<double>(bytes);
  int unit = -1;
  while (value >= 1000 && unit < 3) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, kUnits[unit]);
  return text;
}

Status CheckValueSizes(const MessageContent& content) {
  for (const auto& [id, value] : content.props)
    if (value.Size() > kMaxValueBytes) return TooLarge("a value of the message", value.Size());
  for (const AttachmentContent& a : content.attachments) {
    for (const auto& [id, value] : a.props) {
      if (value.Size() <= kMaxValueBytes) continue;
      const std::string name = NameOf(a);
      return TooLarge(name.empty() ? "an attachment" : "attachment \"" + name + "\"", value.Size());
    }
    if (a.embedded) PST_RETURN_IF_ERROR(CheckValueSizes(*a.embedded));
  }
  return Status::Ok();
}

}  // namespace velmora::pst
