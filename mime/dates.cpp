#include "mime/dates.h"

#include <gmime/gmime.h>

#include "fsutil/now.h"
#include "mime/gobject_ptr.h"
#include "mime/plain_date.h"

namespace velmora::mime {
namespace {
// Seconds from 1601-01-01 to 1970-01-01, and FILETIME ticks per microsecond.
constexpr int64_t kEpochDeltaSeconds = 11644473600LL;
constexpr int64_t kTicksPerMicrosecond = 10;

// GMime answers the Unix epoch for some values it could not read, and programs write it for a date they
// lacked: 1970-01-01 (in the date's own zone or in UTC) is taken for no date; so is one outside FILETIME's
// range.
std::optional<uint64_t> Checked(int64_t unix_seconds, int64_t microseconds, int year, int month, int day) {
  constexpr int64_t kDaySeconds = 86400;
  if ((unix_seconds > -kDaySeconds && unix_seconds < kDaySeconds) || (year == 1970 && month == 1 && day == 1))
    return std::nullopt;
  if (year < 1601 || year > 30827) return std::nullopt;
  return static_cast<uint64_t>((unix_seconds + kEpochDeltaSeconds) * 10000000LL +
                               microseconds * kTicksPerMicrosecond);
}

// Comments are not part of the date ("-0400 (EDT)"); a zone name in one must not be applied twice.
std::string WithoutComments(const std::string& raw) {
  std::string value;
  int depth = 0;
  for (char c : raw) {
    if (c == '(') ++depth;
    if (depth == 0) value += c;
    if (c == ')' && depth > 0) --depth;
  }
  return value;
}

std::optional<uint64_t> ByGMime(const std::string& value) {
  if (value.find_first_not_of(" \t\r\n") == std::string::npos) return std::nullopt;
  GDateTimePtr dt(g_mime_utils_header_decode_date(value.c_str()));
  if (!dt) return std::nullopt;
  return Checked(g_date_time_to_unix(dt.get()), g_date_time_get_microsecond(dt.get()),
                 g_date_time_get_year(dt.get()), g_date_time_get_month(dt.get()),
                 g_date_time_get_day_of_month(dt.get()));
}

}  // namespace

std::optional<uint64_t> ParseMailDate(const std::string& raw) {
  const std::string value = WithoutComments(raw);
  if (auto d = ReadPlainDate(value)) return Checked(d->unix_seconds, 0, d->year, d->month, d->day);
  return ByGMime(value);
}

std::optional<uint64_t> ParseMailDateWithGMime(const std::string& raw) {
  return ByGMime(WithoutComments(raw));
}

std::optional<uint64_t> ParseReceivedDate(const std::string& value) {
  auto semi = value.rfind(';');
  if (semi == std::string::npos) return std::nullopt;
  return ParseMailDate(value.substr(semi + 1));
}

uint64_t FileTimeNow() {
  return fsutil::FileTimeNow();
}

}  // namespace velmora::mime
