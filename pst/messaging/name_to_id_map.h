// The name-to-ID map ([MS-PST] 2.4.7): the PC at NID 0x61 that gives every named property used in this file
// its property ID (0x8000 + the index of its NAMEID record).
//
// | prop   | type   | content                                                                       |
// | 0x0001 | Int32  | bucket count, 251 in every Outlook file                                        |
// | 0x0002 | Binary | GUID stream: 16-byte GUIDs; GUID index 3 + i names entry i                       |
// | 0x0003 | Binary | entry stream: NAMEID records, record i defines property ID 0x8000 + i           |
// | 0x0004 | Binary | string stream: {length in bytes (4), UTF-16LE name}, each padded to 4 bytes     |
// | 0x1000+b | Binary | hash bucket b: the NAMEIDs whose hash falls in b, dwPropertyID = the hash key |
//
// NAMEID, 8 bytes:
// | off | size | field        | rule                                                              |
// |   0 |    4 | dwPropertyID | numeric name: the LID; string name: byte offset in the string stream |
// |   4 |    2 | wGuid        | GUID index << 1 | N (N = 1 for string names); index 1 = PS_MAPI,    |
// |     |      |              | 2 = PS_PUBLIC_STRINGS, 3.. = GUID stream entries                   |
// |   6 |    2 | wPropIdx     | the record's index                                                 |
//
// Bucket of a record: (key XOR wGuid) mod bucket count, where key is the LID, or for string names the CRC
// ([MS-PST] 5.3) of the UTF-16LE name. Checked against every record of three Outlook-made files.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pst/content/message_content.h"
#include "pst/ltp/property_context.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

using Guid = std::array<uint8_t, 16>;  // as stored: Data1..Data3 little-endian, then Data4

// PS_MAPI {00020328-0000-0000-C000-000000000046} and PS_PUBLIC_STRINGS {00020329-...}.
extern const Guid kPsMapi;
extern const Guid kPsPublicStrings;

struct NamedPropKey {
  Guid guid{};
  bool is_string = false;
  uint32_t lid = 0;  // numeric names
  std::string name;  // string names, UTF-8
  auto operator<=>(const NamedPropKey&) const = default;
};

class NameToIdMap {
 public:
  static constexpr uint32_t kBucketCount = 251;              // what every Outlook file uses
  static constexpr uint16_t kFirstId = tags::kFirstNamedId;  // named property IDs start here

  // An empty map.
  NameToIdMap() = default;
  // The map held by a name-to-ID PC; Corruption when a stream is malformed.
  static Result<NameToIdMap> FromProperties(const PropertyMap& props);
  // The PC content for this map (count, streams, non-empty buckets).
  PropertyMap ToProperties() const;

  std::optional<uint16_t> Find(const NamedPropKey& key) const;
  // The ID of the name, registering it when new; NoSpace when all 32,767 IDs are taken.
  Result<uint16_t> Register(const NamedPropKey& key);
  // The same for a message's named property (its value is not looked at): what the message writer's
  // resolver calls.
  Result<uint16_t> RegisterProperty(const NamedProperty& property);
  // The name behind a property ID, when it is a registered named property.
  std::optional<NamedPropKey> Lookup(uint16_t id) const;

  size_t size() const { return entries_.size(); }
  bool dirty() const { return dirty_; }
  void clear_dirty() { dirty_ = false; }

 private:
  struct Entry {
    NamedPropKey key;
    uint32_t property_id = 0;  // dwPropertyID as stored (LID or string offset)
    uint16_t wguid = 0;        // wGuid as stored
  };
  uint16_t GuidIndex(const Guid& g);  // adds to the GUID stream when needed
  std::vector<Guid> guids_;           // GUID stream
  std::vector<Entry> entries_;        // entry i = ID 0x8000 + i
  std::map<NamedPropKey, uint16_t> by_key_;
  std::vector<uint8_t> strings_;  // string stream as stored
  bool dirty_ = false;
};

}  // namespace velmora::pst
