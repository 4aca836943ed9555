#include "pst/messaging/known_names.h"

namespace velmora::pst {

namespace {

// As the map keys its names: a string name without a LID, a numeric one without a string.
NamedPropKey KeyOf(const NamedProperty& property) {
  NamedPropKey key;
  key.guid = property.guid;
  key.is_string = property.is_string;
  if (property.is_string) {
    key.name = property.name;
  } else {
    key.lid = property.lid;
  }
  return key;
}

}  // namespace

void KnownNames::Learn(const NameToIdMap& map) {
  std::lock_guard lock(mu_);
  for (; learned_ < map.size(); ++learned_) {
    const uint16_t id = static_cast<uint16_t>(NameToIdMap::kFirstId + learned_);
    if (auto key = map.Lookup(id)) ids_.emplace(std::move(*key), id);
  }
}

std::optional<uint16_t> KnownNames::Find(const NamedProperty& property) const {
  if (property.is_string && property.name.empty()) return std::nullopt;
  const NamedPropKey key = KeyOf(property);
  std::lock_guard lock(mu_);
  auto it = ids_.find(key);
  if (it == ids_.end()) return std::nullopt;
  return it->second;
}

NamedIdResolver KnownNames::Resolver() const {
  return [this](const NamedProperty& property) -> Result<uint16_t> {
    if (auto id = Find(property)) return *id;
    return Status::Unsupported("a named property the store does not have yet");
  };
}

}  // namespace velmora::pst
