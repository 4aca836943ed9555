#include "engine/errors.h"

#include <limits>

namespace velmora::engine {

int32_t CheckedIncrement(int32_t value) {
  if (value == std::numeric_limits<int32_t>::max()) throw Error::Overflow();
  return value + 1;
}

}  // namespace velmora::engine
