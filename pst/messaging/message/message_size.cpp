#include "pst/messaging/message/message_size.h"

#include <limits>

namespace velmora::pst {

uint64_t CountedSize(const PropValue& value) {
  if (value.type == kPtypObject) return 0;
  if (value.stream) return value.stream->Size();
  if (size_t fixed = FixedSizeOf(value.type)) return fixed;
  return value.bytes.size();
}

uint64_t CountedSize(const PropertyMap& props, uint64_t object_size) {
  uint64_t sum = 0;
  for (const auto& [id, value] : props) sum += value.type == kPtypObject ? object_size : CountedSize(value);
  return sum;
}

int32_t ClampSize(uint64_t size) {
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(size > kMax ? kMax : size);
}

}  // namespace velmora::pst
