// The whole content of one message before it is stored: what the MIME importer produces and the message
// writer consumes. Tags are those of [MS-OXPROPS]; the writer adds what the store computes itself (sizes,
// search key, row ids, flags it owns).
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "pst/ltp/property_context.h"

namespace velmora::pst {

// A named property ([MS-OXCDATA] 2.6.1): a property set GUID with a numeric id (LID) or a string name.
struct NamedProperty {
  std::array<uint8_t, 16> guid{};  // as stored: Data1..Data3 little-endian, then Data4 bytes
  bool is_string = false;
  uint32_t lid = 0;  // when !is_string
  std::string name;  // UTF-8, when is_string
  PropValue value;
};

struct RecipientContent {
  PropertyMap props;  // a recipient table row: PidTagRecipientType, display name, address type, address, ...
};

struct MessageContent;

struct AttachmentContent {
  PropertyMap
      props;  // PidTagAttachMethod, file names, MIME tag, content id, PidTagAttachDataBinary (often a stream)
  std::unique_ptr<MessageContent> embedded;  // set for PidTagAttachMethod 5 (afEmbeddedMessage)
};

struct MessageContent {
  PropertyMap props;
  std::vector<NamedProperty> named;
  std::vector<RecipientContent> recipients;
  std::vector<AttachmentContent> attachments;
};

}  // namespace velmora::pst
