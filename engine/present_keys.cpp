#include "engine/present_keys.h"

#include <algorithm>
#include <functional>

namespace velmora::engine {
namespace {

// The recent set is merged into the sorted vector when it reaches an eighth of it (at least this many), so
// each digest is moved O(log n) times.
constexpr size_t kMinRecent = 4096;

// FNV-1a over 64 bits: the second, independent half of a digest (the first is the library's string hash).
uint64_t Fnv1a64(std::string_view s) {
  uint64_t h = 0xcbf29ce484222325ULL;  // the FNV-1a offset basis
  for (unsigned char c : s) {
    h ^= c;
    h *= 0x100000001b3ULL;  // the FNV 64-bit prime
  }
  return h;
}

}  // namespace

PresentKeys::Digest PresentKeys::Of(std::string_view key) {
  return {static_cast<uint64_t>(std::hash<std::string_view>{}(key)), Fnv1a64(key)};
}

bool PresentKeys::Contains(std::string_view key) const {
  const Digest d = Of(key);
  return recent_.count(d) > 0 || std::binary_search(sorted_.begin(), sorted_.end(), d);
}

void PresentKeys::Insert(std::string_view key) {
  const Digest d = Of(key);
  if (std::binary_search(sorted_.begin(), sorted_.end(), d)) return;
  recent_.insert(d);
  if (recent_.size() >= std::max(kMinRecent, sorted_.size() / 8)) Merge();
}

void PresentKeys::Merge() {
  const size_t old = sorted_.size();
  sorted_.insert(sorted_.end(), recent_.begin(), recent_.end());
  recent_.clear();
  std::sort(sorted_.begin() + static_cast<std::ptrdiff_t>(old), sorted_.end());
  std::inplace_merge(sorted_.begin(), sorted_.begin() + static_cast<std::ptrdiff_t>(old), sorted_.end());
}

}  // namespace velmora::engine
