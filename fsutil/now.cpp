#include "fsutil/now.h"

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <random>

namespace velmora::fsutil {

namespace {

std::optional<int64_t> ReadEpoch() {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (!text || !*text) return std::nullopt;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (*end != '\0' || value < 0) return std::nullopt;
  return static_cast<int64_t>(value);
}

// FILETIME counts 100 ns since 1601-01-01; the Unix epoch is 11,644,473,600 s later.
constexpr uint64_t kUnixEpochAsFiletime = 116444736000000000ULL;

struct Generator {
  std::mutex mutex;
  std::mt19937_64 engine;

  Generator() {
    if (auto epoch = ReproducibleEpoch()) {
      engine.seed(static_cast<uint64_t>(*epoch));
      return;
    }
    // 256 bits from the system: store record keys must not collide between stores made on many machines.
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
    engine.seed(seed);
  }
};

}  // namespace

std::optional<int64_t> ReproducibleEpoch() {
  static const std::optional<int64_t> epoch = ReadEpoch();
  return epoch;
}

std::time_t UnixTimeNow() {
  if (auto epoch = ReproducibleEpoch()) return static_cast<std::time_t>(*epoch);
  return std::time(nullptr);
}

uint64_t FileTimeNow() {
  if (auto epoch = ReproducibleEpoch())
    return kUnixEpochAsFiletime + static_cast<uint64_t>(*epoch) * 10000000ULL;
  auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  auto ticks =
      std::chrono::duration_cast<std::chrono::duration<int64_t, std::ratio<1, 10000000>>>(since_epoch);
  return kUnixEpochAsFiletime + static_cast<uint64_t>(ticks.count());
}

bool LocalCalendar(std::time_t t, std::tm* out) {
#ifdef _WIN32
  return localtime_s(out, &t) == 0;
#else
  return localtime_r(&t, out) != nullptr;
#endif
}

bool UtcCalendar(std::time_t t, std::tm* out) {
  constexpr int64_t kSecondsPerDay = 86400;
  const int64_t secs = static_cast<int64_t>(t);
  int64_t days = secs / kSecondsPerDay;
  int64_t in_day = secs % kSecondsPerDay;
  if (in_day < 0) {
    in_day += kSecondsPerDay;
    --days;
  }
  // Years of 400 (146,097 days) repeat the calendar; counted from 0000-03-01 so that the leap day ends a
  // year. 719,468 days lie between 0000-03-01 and 1970-01-01.
  const int64_t from_march = days + 719468;
  const int64_t era = (from_march >= 0 ? from_march : from_march - 146096) / 146097;
  const int64_t day_of_era = from_march - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_from_march = (5 * day_of_year + 2) / 153;  // months of 31/30 days in a 153-day cycle
  const int64_t month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;  // 1..12
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  if (year - 1900 > INT32_MAX || year - 1900 < INT32_MIN) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  *out = std::tm{};
  out->tm_year = static_cast<int>(year - 1900);
  out->tm_mon = static_cast<int>(month - 1);
  out->tm_mday = static_cast<int>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  out->tm_hour = static_cast<int>(in_day / 3600);
  out->tm_min = static_cast<int>(in_day / 60 % 60);
  out->tm_sec = static_cast<int>(in_day % 60);
  out->tm_yday = kDaysBefore[month - 1] + out->tm_mday - 1 + (leap && month > 2 ? 1 : 0);
  out->tm_wday = static_cast<int>(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
  return true;
}

void RandomBytes(std::span<uint8_t> out) {
  static Generator generator;
  std::lock_guard lock(generator.mutex);
  for (size_t i = 0; i < out.size(); i += 8) {
    uint64_t v = generator.engine();
    for (size_t j = 0; j < 8 && i + j < out.size(); ++j) out[i + j] = static_cast<uint8_t>(v >> (8 * j));
  }
}

}  // namespace velmora::fsutil
