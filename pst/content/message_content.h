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

// A recipient as held until the message is written. A message may name 100,000 of them, and a row of
// twenty properties costs some 2.5 KB in a PropertyMap, so an importer whose rows all follow from a name, an
// address, a type and a position holds just those (`brief`, about 100 bytes) with the function that makes
// the row, which is then made only when the row is written. Props() gives the row either way.
struct RecipientContent {
  struct Brief {
    std::string name;     // UTF-8, PidTagDisplayName
    std::string address;  // UTF-8
    int32_t type = 0;     // PidTagRecipientType
    int32_t order = 0;    // PidTagRecipientOrder
    // Makes the row into `row`, setting each of its cells in place (a cell `row` has already keeps its
    // buffer) and leaving other keys alone; rows made by the same function carry the same tags with the same
    // types, so the row writer refills one map for every recipient.
    void (*make_row)(const Brief&, PropertyMap& row) = nullptr;
  };

  PropertyMap props;  // a recipient table row: PidTagRecipientType, display name, address type, address, ...
  Brief brief;        // stands for `props` when brief.make_row is set

  bool is_brief() const { return brief.make_row != nullptr; }
  PropertyMap Props() const {
    if (!is_brief()) return props;
    PropertyMap row;
    brief.make_row(brief, row);
    return row;
  }
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
  // What the importer could not map as it should and kept another way (one sentence each), for the report.
  std::vector<std::string> notes;
};

}  // namespace velmora::pst
