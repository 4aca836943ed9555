// The time and the random bytes the converter takes from the system, in one place.
//
// With SOURCE_DATE_EPOCH set (the reproducible-builds convention: whole seconds since 1970-01-01 UTC) both come
// from it instead: "now" is that instant, and the random bytes are a fixed sequence seeded by it, so that two
// runs over the same input that make the same calls in the same order write the same bytes.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>

namespace velmora::fsutil {

// SOURCE_DATE_EPOCH, read once per process; empty when unset or not a whole non-negative number.
std::optional<int64_t> ReproducibleEpoch();
inline bool Reproducible() {
  return ReproducibleEpoch().has_value();
}

// Now, in seconds since 1970-01-01 UTC.
std::time_t UnixTimeNow();
// Now as a FILETIME: 100 ns units since 1601-01-01 UTC.
uint64_t FileTimeNow();

// Fills `out` with random bytes, from a generator seeded once from the system's random source. Safe to call
// from any thread; in a reproducible run only calls made in a fixed order give fixed bytes.
void RandomBytes(std::span<uint8_t> out);

}  // namespace velmora::fsutil
