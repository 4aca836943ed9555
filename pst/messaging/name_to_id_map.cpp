#include "pst/messaging/name_to_id_map.h"

#include "pst/ltp/le_bytes.h"
#include "pst/ndb/crc.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

const Guid kPsMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const Guid kPsPublicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

namespace {

constexpr size_t kNameIdSize = 8;  // dwPropertyID 4 + wGuid 2 + wPropIdx 2
constexpr uint16_t kPsMapiIndex = 1;
constexpr uint16_t kPsPublicStringsIndex = 2;
constexpr uint16_t kFirstStreamGuidIndex = 3;
constexpr uint16_t kMaxEntries = 0x7FFF;  // IDs 0x8000..0xFFFE; 0xFFFF is PROP_ID_INVALID in MAPI

uint32_t HashKey(uint32_t property_id_or_crc, uint16_t wguid) {
  return (property_id_or_crc ^ wguid) % NameToIdMap::kBucketCount;
}

Result<std::vector<uint8_t>> LoadBinary(const PropertyMap& props, uint16_t id) {
  auto it = props.find(id);
  if (it == props.end()) return std::vector<uint8_t>();
  if (it->second.type != kPtypBinary) {
    return Status::Corruption("name-to-ID map property 0x" + std::to_string(id) + " is not binary");
  }
  return it->second.Load();
}

}  // namespace

Result<NameToIdMap> NameToIdMap::FromProperties(const PropertyMap& props) {
  NameToIdMap map;
  PST_ASSIGN_OR_RETURN(auto guid_bytes, LoadBinary(props, ids::kNameidStreamGuid));
  PST_ASSIGN_OR_RETURN(auto entry_bytes, LoadBinary(props, ids::kNameidStreamEntry));
  PST_ASSIGN_OR_RETURN(map.strings_, LoadBinary(props, ids::kNameidStreamString));
  if (guid_bytes.size() % 16 != 0) return Status::Corruption("name-to-ID GUID stream not a multiple of 16");
  if (entry_bytes.size() % kNameIdSize != 0)
    return Status::Corruption("name-to-ID entry stream not a multiple of 8");
  for (size_t at = 0; at < guid_bytes.size(); at += 16) {
    Guid g;
    std::copy_n(guid_bytes.begin() + static_cast<std::ptrdiff_t>(at), 16, g.begin());
    map.guids_.push_back(g);
  }
  size_t count = entry_bytes.size() / kNameIdSize;
  if (count > kMaxEntries) return Status::Corruption("name-to-ID entry stream holds too many records");
  for (size_t i = 0; i < count; ++i) {
    Entry e;
    e.property_id = le::Get32(entry_bytes, i * kNameIdSize);
    e.wguid = le::Get16(entry_bytes, i * kNameIdSize + 4);
    uint16_t guid_index = e.wguid >> 1;
    if (guid_index == kPsMapiIndex) {
      e.key.guid = kPsMapi;
    } else if (guid_index == kPsPublicStringsIndex) {
      e.key.guid = kPsPublicStrings;
    } else if (guid_index >= kFirstStreamGuidIndex &&
               size_t{guid_index} - kFirstStreamGuidIndex < map.guids_.size()) {
      e.key.guid = map.guids_[guid_index - kFirstStreamGuidIndex];
    } else {
      return Status::Corruption("name-to-ID record " + std::to_string(i) + " names GUID index " +
                                std::to_string(guid_index) + " that does not exist");
    }
    e.key.is_string = (e.wguid & 1) != 0;
    if (e.key.is_string) {
      size_t off = e.property_id;
      if (off + 4 > map.strings_.size()) {
        return Status::Corruption("name-to-ID record " + std::to_string(i) +
                                  " string offset past the stream");
      }
      size_t len = le::Get32(map.strings_, off);
      if (len > map.strings_.size() - off - 4) {
        return Status::Corruption("name-to-ID record " + std::to_string(i) + " string passes the stream end");
      }
      e.key.name = Utf16leToUtf8(std::span<const uint8_t>(map.strings_).subspan(off + 4, len));
    } else {
      e.key.lid = e.property_id;
    }
    // A name registered twice keeps its first ID, as a reader that searches the entry stream would.
    map.by_key_.emplace(e.key, static_cast<uint16_t>(kFirstId + i));
    map.entries_.push_back(std::move(e));
  }
  return map;
}

PropertyMap NameToIdMap::ToProperties() const {
  PropertyMap props;
  props[ids::kNameidBucketCount] = PropValue::Int32(static_cast<int32_t>(kBucketCount));
  std::vector<uint8_t> guid_bytes;
  for (const Guid& g : guids_) guid_bytes.insert(guid_bytes.end(), g.begin(), g.end());
  std::vector<uint8_t> entry_bytes(entries_.size() * kNameIdSize);
  std::map<uint32_t, std::vector<uint8_t>> buckets;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    auto idx = static_cast<uint16_t>(i);
    le::Put32(entry_bytes, i * kNameIdSize, e.property_id);
    le::Put16(entry_bytes, i * kNameIdSize + 4, e.wguid);
    le::Put16(entry_bytes, i * kNameIdSize + 6, idx);
    uint32_t key = e.property_id;
    if (e.key.is_string) key = Crc32(Utf8ToUtf16le(e.key.name));
    auto& bucket = buckets[HashKey(key, e.wguid)];
    size_t at = bucket.size();
    bucket.resize(at + kNameIdSize);
    le::Put32(bucket, at, key);
    le::Put16(bucket, at + 4, e.wguid);
    le::Put16(bucket, at + 6, idx);
  }
  props[ids::kNameidStreamGuid] = PropValue::Binary(std::move(guid_bytes));
  props[ids::kNameidStreamEntry] = PropValue::Binary(std::move(entry_bytes));
  props[ids::kNameidStreamString] = PropValue::Binary(strings_);
  for (auto& [b, bytes] : buckets) {
    props[static_cast<uint16_t>(tags::kNameidBucketBase + b)] = PropValue::Binary(std::move(bytes));
  }
  return props;
}

namespace {
// String names ignore the LID and numeric names the string, so both compare by what identifies them.
NamedPropKey Normalized(NamedPropKey key) {
  if (key.is_string) {
    key.lid = 0;
  } else {
    key.name.clear();
  }
  return key;
}
}  // namespace

std::optional<uint16_t> NameToIdMap::Find(const NamedPropKey& key) const {
  auto it = by_key_.find(Normalized(key));
  if (it == by_key_.end()) return std::nullopt;
  return it->second;
}

Result<uint16_t> NameToIdMap::Register(const NamedPropKey& key) {
  if (auto id = Find(key)) return *id;
  if (entries_.size() >= kMaxEntries) return Status::NoSpace("every named property ID is taken");
  Entry e;
  e.key = Normalized(key);
  e.wguid = static_cast<uint16_t>(GuidIndex(key.guid) << 1 | (key.is_string ? 1 : 0));
  if (key.is_string) {
    e.property_id = static_cast<uint32_t>(strings_.size());
    std::vector<uint8_t> name = Utf8ToUtf16le(key.name);
    size_t at = strings_.size();
    strings_.resize(at + 4);
    le::Put32(strings_, at, static_cast<uint32_t>(name.size()));
    strings_.insert(strings_.end(), name.begin(), name.end());
    while (strings_.size() % 4 != 0) strings_.push_back(0);  // records start on 4-byte boundaries
  } else {
    e.property_id = key.lid;
  }
  auto id = static_cast<uint16_t>(kFirstId + entries_.size());
  by_key_.emplace(e.key, id);
  entries_.push_back(std::move(e));
  dirty_ = true;
  return id;
}

Result<uint16_t> NameToIdMap::RegisterProperty(const NamedProperty& property) {
  NamedPropKey key;
  key.guid = property.guid;
  key.is_string = property.is_string;
  if (property.is_string) {
    if (property.name.empty()) return Status::InvalidArgument("a named property with an empty name");
    key.name = property.name;
  } else {
    key.lid = property.lid;
  }
  return Register(key);
}

std::optional<NamedPropKey> NameToIdMap::Lookup(uint16_t id) const {
  if (id < kFirstId || size_t{id} - kFirstId >= entries_.size()) return std::nullopt;
  return entries_[id - kFirstId].key;
}

uint16_t NameToIdMap::GuidIndex(const Guid& g) {
  if (g == kPsMapi) return kPsMapiIndex;
  if (g == kPsPublicStrings) return kPsPublicStringsIndex;
  for (size_t i = 0; i < guids_.size(); ++i) {
    if (guids_[i] == g) return static_cast<uint16_t>(kFirstStreamGuidIndex + i);
  }
  guids_.push_back(g);
  return static_cast<uint16_t>(kFirstStreamGuidIndex + guids_.size() - 1);
}

}  // namespace velmora::pst
