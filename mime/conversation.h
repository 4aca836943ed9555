// PidTagConversationId, which Outlook groups a folder's messages by ("Show as Conversations", Ignore,
// Clean Up) and keeps in every contents-table row ([MS-OXOMSG] 2.2.1.2):
//   - with PidTagConversationIndexTracking true and an index of at least 22 bytes that starts with 0x01, the
//     16-byte GUID of PidTagConversationIndex (bytes 6..21);
//   - otherwise, when there is a PidTagConversationTopic, the MD5 of its first 255 UTF-16LE code units up to
//     any NUL, each upper-cased without regard to locale;
//   - otherwise there is none.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "pst/ltp/property_context.h"

namespace velmora::mime {

// `topic`, when given, is the text PidTagConversationTopic holds (as UTF-8), so that it is not read back.
std::optional<std::array<uint8_t, 16>> ConversationIdOf(const pst::PropertyMap& props,
                                                        const std::string* topic = nullptr);

// Sets PidTagConversationId from the other conversation properties in `props`, when they give one.
void SetConversationId(pst::PropertyMap& props, const std::string* topic = nullptr);

}  // namespace velmora::mime
