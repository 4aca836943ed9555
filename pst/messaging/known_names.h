// The named properties a store's name-to-ID map holds, readable from any thread: what a message made ahead
// (prepared_message.h) resolves its named properties with while the store's own thread goes on adding names.
// IDs never change once given, so a name found here has the ID the map gives it.
#pragma once

#include <map>
#include <mutex>
#include <optional>

#include "pst/messaging/message/message_writer.h"
#include "pst/messaging/name_to_id_map.h"

namespace velmora::pst {

class KnownNames {
 public:
  // Takes in the names `map` gained since the last call. On the store's thread.
  void Learn(const NameToIdMap& map);
  // The ID of a name the map held at the last Learn; nullopt for any other. On any thread.
  std::optional<uint16_t> Find(const NamedProperty& property) const;
  // Find as the message writer's resolver: Unsupported for a name not known yet.
  NamedIdResolver Resolver() const;

 private:
  mutable std::mutex mu_;
  std::map<NamedPropKey, uint16_t> ids_;
  size_t learned_ = 0;  // entries of the map taken in
};

}  // namespace velmora::pst
