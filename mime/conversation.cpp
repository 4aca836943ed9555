#include "mime/conversation.h"

#include <glib.h>

#include <string>
#include <vector>

#include "mime/prop_tags.h"

namespace velmora::mime {

namespace {
constexpr size_t kIndexGuidOffset = 6;   // after the reserved byte and the five time bytes
constexpr size_t kIndexHeaderSize = 22;  // the header block an index starts with
constexpr size_t kMaxTopicUnits = 255;   // UTF-16 code units of the topic that are hashed
}  // namespace

std::optional<std::array<uint8_t, 16>> ConversationIdOf(const pst::PropertyMap& props) {
  std::array<uint8_t, 16> id{};
  auto tracking = props.find(tag::kConversationIndexTracking);
  auto index = props.find(tag::kConversationIndex);
  if (tracking != props.end() && tracking->second.AsBool().value_or(false) && index != props.end()) {
    auto bytes = index->second.Load();
    if (bytes.ok() && bytes->size() >= kIndexHeaderSize && (*bytes)[0] == 0x01) {
      std::copy(bytes->begin() + kIndexGuidOffset, bytes->begin() + kIndexGuidOffset + id.size(), id.begin());
      return id;
    }
  }
  auto topic = props.find(tag::kConversationTopic);
  if (topic == props.end()) return std::nullopt;
  auto text = topic->second.AsString();
  if (!text) return std::nullopt;
  // GLib's UTF-16 conversion and upper-case table, and its MD5 (GChecksum).
  glong units = 0;
  gunichar2* utf16 =
      g_utf8_to_utf16(text->data(), static_cast<glong>(text->size()), nullptr, &units, nullptr);
  if (!utf16) return std::nullopt;
  std::vector<uint8_t> le;
  for (glong i = 0; i < units && le.size() < 2 * kMaxTopicUnits && utf16[i] != 0; ++i) {
    gunichar c = utf16[i];
    if (c < 0xD800 || c > 0xDFFF) {
      gunichar upper = g_unichar_toupper(c);
      if (upper <= 0xFFFF) c = upper;  // a letter whose upper case leaves the BMP keeps its own unit
    }
    le.push_back(static_cast<uint8_t>(c & 0xFF));
    le.push_back(static_cast<uint8_t>(c >> 8));
  }
  g_free(utf16);
  GChecksum* md5 = g_checksum_new(G_CHECKSUM_MD5);
  g_checksum_update(md5, le.data(), static_cast<gssize>(le.size()));
  gsize length = id.size();
  g_checksum_get_digest(md5, id.data(), &length);
  g_checksum_free(md5);
  return id;
}

void SetConversationId(pst::PropertyMap& props) {
  if (auto id = ConversationIdOf(props))
    props[tag::kConversationId] = pst::PropValue::Binary(std::vector<uint8_t>(id->begin(), id->end()));
}

}  // namespace velmora::mime
