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

void RandomBytes(std::span<uint8_t> out) {
  static Generator generator;
  std::lock_guard lock(generator.mutex);
  for (size_t i = 0; i < out.size(); i += 8) {
    uint64_t v = generator.engine();
    for (size_t j = 0; j < 8 && i + j < out.size(); ++j) out[i + j] = static_cast<uint8_t>(v >> (8 * j));
  }
}

}  // namespace velmora::fsutil
