#include "fsutil/file_time.h"

namespace velmora::fsutil {
namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;  // 100 ns intervals
constexpr int64_t kSecondsPerDay = 86'400;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The inverse: the calendar date of a day count since 1970-01-01.
void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(yoe + era * 400 + (m <= 2));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

}  // namespace

FileTime FileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  const int64_t epoch_seconds = static_cast<int64_t>(kUnixEpochAsFileTime / kTicksPerSecond);
  if (seconds < -epoch_seconds) return {};
  const uint64_t ticks = static_cast<uint64_t>(seconds + epoch_seconds) * kTicksPerSecond +
                         static_cast<uint64_t>(nanoseconds / 100);
  return FileTime::FromValue(ticks);
}

std::optional<SystemTime> FileTimeToSystemTime(FileTime t) {
  const uint64_t v = t.Value();
  if (v > 0x7FFF'FFFF'FFFF'FFFFULL) return std::nullopt;
  const auto total_seconds = static_cast<int64_t>(v / kTicksPerSecond);
  const int64_t since_unix = total_seconds - static_cast<int64_t>(kUnixEpochAsFileTime / kTicksPerSecond);
  int64_t days = since_unix / kSecondsPerDay;
  int64_t rest = since_unix % kSecondsPerDay;
  if (rest < 0) rest += kSecondsPerDay, --days;
  SystemTime st;
  CivilFromDays(days, &st.year, &st.month, &st.day);
  st.hour = static_cast<int>(rest / 3600);
  st.minute = static_cast<int>(rest / 60 % 60);
  st.second = static_cast<int>(rest % 60);
  st.milliseconds = static_cast<int>(v % kTicksPerSecond / 10'000);
  return st;
}

std::optional<double> DateSerialPlusTime(const SystemTime& t) {
  if (t.year < 100 || t.year > 9999) return std::nullopt;
  const int64_t serial = DaysFromCivil(t.year, t.month, t.day) - DaysFromCivil(1899, 12, 30);
  const double time_of_day = static_cast<double>(t.hour * 3600 + t.minute * 60 + t.second) / kSecondsPerDay;
  return static_cast<double>(serial) + time_of_day;
}

}  // namespace velmora::fsutil
