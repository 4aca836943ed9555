#include "mime/conversation.h"

#include <glib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mime/prop_tags.h"

namespace velmora::mime {

namespace {
constexpr size_t kIndexGuidOffset = 6;   // after the reserved byte and the five time bytes
constexpr size_t kIndexHeaderSize = 22;  // the header block an index starts with
constexpr size_t kMaxTopicUnits = 255;   // UTF-16 code units of the topic that are hashed
std::array<uint8_t, 16> Md5Of(const std::vector<uint8_t>& bytes) {
  std::array<uint8_t, 16> id{};
  GChecksum* md5 = g_checksum_new(G_CHECKSUM_MD5);
  g_checksum_update(md5, bytes.data(), static_cast<gssize>(bytes.size()));
  gsize length = id.size();
  g_checksum_get_digest(md5, id.data(), &length);
  g_checksum_free(md5);
  return id;
}

}  // namespace

std::optional<std::array<uint8_t, 16>> ConversationIdOf(const pst::PropertyMap& props,
                                                        const std::string* topic_text) {
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
  auto text = topic_text ? std::optional<std::string>(*topic_text) : topic->second.AsString();
  if (!text) return std::nullopt;
  std::vector<uint8_t> le;
  le.reserve(2 * kMaxTopicUnits);
  const bool ascii =
      std::all_of(text->begin(), text->end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    // One UTF-16 unit a byte, and upper case is only a-z (the Unicode table's answer for ASCII).
    for (size_t i = 0; i < text->size() && le.size() < 2 * kMaxTopicUnits && (*text)[i] != 0; ++i) {
      const char c = (*text)[i];
      le.push_back(static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
      le.push_back(0);
    }
    return Md5Of(le);
  }
  // GLib's UTF-16 conversion and upper-case table, and its MD5 (GChecksum).
  glong units = 0;
  gunichar2* utf16 =
      g_utf8_to_utf16(text->data(), static_cast<glong>(text->size()), nullptr, &units, nullptr);
  if (!utf16) return std::nullopt;
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
  return Md5Of(le);
}

void SetConversationId(pst::PropertyMap& props, const std::string* topic) {
  if (auto id = ConversationIdOf(props, topic))
    props[tag::kConversationId] = pst::PropValue::Binary(std::vector<uint8_t>(id->begin(), id->end()));
}

}  // namespace velmora::mime
