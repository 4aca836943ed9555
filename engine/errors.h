// The engine raises the one error type above the store (rdo/error.h) when a step fails that the conversion
// does not handle itself: a counter that would run past 2,147,483,647, a queue key that is already taken, a
// path helper given an empty path.
#pragma once

#include <cstdint>
#include <limits>

#include "rdo/error.h"

namespace velmora::engine {

using Error = rdo::Error;
using rdo::kErrKeyAlreadyAssociated;
using rdo::kErrOverflow;
using rdo::kErrSubscriptOutOfRange;

// value + 1 for a 32-bit signed counter; Error::Overflow() past 2,147,483,647.
inline int32_t CheckedIncrement(int32_t value) {
  if (value == std::numeric_limits<int32_t>::max()) throw Error::Overflow();
  return value + 1;
}

}  // namespace velmora::engine
