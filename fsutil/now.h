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

// The calendar fields of `t` in the local time zone (localtime_r; localtime_s on Windows): false when the
// system cannot give them.
bool LocalCalendar(std::time_t t, std::tm* out);
// The same in UTC, worked out here from the proleptic Gregorian calendar rather than asked of the system, so
// that every platform gives the same fields, also before 1970 (Windows' gmtime_s refuses those): false only
// when the year does not fit the fields.
bool UtcCalendar(std::time_t t, std::tm* out);

// Fills `out` with random bytes, from a generator seeded once from the system's random source. Safe to call
// from any thread; in a reproducible run only calls made in a fixed order give fixed bytes.
void RandomBytes(std::span<uint8_t> out);

}  // namespace velmora::fsutil
