// FILETIME values and the two conversions the query layer makes from them.
//
// A FILETIME counts 100-nanosecond intervals since 1601-01-01 00:00 UTC in two unsigned 32-bit halves.
// FileTimeToSystemTime refuses values with the top bit set (above 0x7FFFFFFFFFFFFFFF). The platform's date
// type (an OLE date) counts days since 1899-12-30 with the time of day as the fraction and holds the years
// 100 to 9999; building a date outside that range raises an overflow.
#pragma once

#include <cstdint>
#include <optional>

namespace velmora::fsutil {

struct FileTime {
  uint32_t low = 0;   // dwLowDateTime
  uint32_t high = 0;  // dwHighDateTime
  uint64_t Value() const { return (static_cast<uint64_t>(high) << 32) | low; }
  static FileTime FromValue(uint64_t v) { return {static_cast<uint32_t>(v), static_cast<uint32_t>(v >> 32)}; }
};

// 1601-01-01 to 1970-01-01 is 134,774 days = 11,644,473,600 seconds, in 100 ns units.
inline constexpr uint64_t kUnixEpochAsFileTime = 11'644'473'600ULL * 10'000'000ULL;

// A POSIX time (seconds and nanoseconds since 1970 UTC) as a FILETIME; times before 1601 become 0.
FileTime FileTimeFromUnix(int64_t seconds, int64_t nanoseconds);

// The calendar fields of a FILETIME (UTC), as FileTimeToSystemTime gives them.
struct SystemTime {
  int year = 1601, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// Nothing for a value with the top bit set, as FileTimeToSystemTime.
std::optional<SystemTime> FileTimeToSystemTime(FileTime t);

// The date serial of the calendar date plus the time of day to whole seconds (milliseconds dropped), added as
// two numbers; nothing when the year lies outside 100..9999. Dates before 1899-12-30 come out as the plain
// sum of a negative day count and a positive fraction.
std::optional<double> DateSerialPlusTime(const SystemTime& t);

}  // namespace velmora::fsutil
