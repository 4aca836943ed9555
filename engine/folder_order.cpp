#include "engine/folder_order.h"

#include <algorithm>
#include <utility>

#include "engine/errors.h"

namespace velmora::engine {
namespace {

bool IsFourByteLead(unsigned char b) {
  return b >= 0xF0 && b <= 0xF4;
}  // U+10000..U+10FFFF
bool IsHighBmpLead(unsigned char b) {
  return b == 0xEE || b == 0xEF;
}  // U+E000..U+FFFF

std::string& At(std::vector<std::string>& a, int32_t i) {
  if (i < 0 || static_cast<size_t>(i) >= a.size()) throw Error::SubscriptOutOfRange();
  return a[static_cast<size_t>(i)];
}

}  // namespace

bool SortsBefore(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x == y) continue;
    // The bytes before are equal, so both stand at the start of a sequence or at the same place inside one.
    if (IsFourByteLead(x) && IsHighBmpLead(y)) return true;
    if (IsHighBmpLead(x) && IsFourByteLead(y)) return false;
    return x < y;
  }
  return a.size() < b.size();
}

int32_t RoundedMidpoint(int32_t lo, int32_t hi) {
  const int64_t sum = static_cast<int64_t>(lo) + hi;
  if (sum % 2 == 0) return static_cast<int32_t>(sum / 2);
  const int64_t below = (sum - 1) / 2;  // the two neighbours of a half are below and below + 1
  return static_cast<int32_t>(below % 2 == 0 ? below : below + 1);
}

void SortStrings(Yielder& yielder, std::vector<std::string>& a, int32_t lo, int32_t hi) {
  const std::string pivot = At(a, RoundedMidpoint(lo, hi));
  int32_t i = lo;
  int32_t j = hi;
  do {
    yielder.Yield();
    while (SortsBefore(At(a, i), pivot) && i < hi) {
      yielder.Yield();
      ++i;
    }
    while (SortsBefore(pivot, At(a, j)) && j > lo) {
      yielder.Yield();
      --j;
    }
    if (i > j) break;
    yielder.Yield();
    std::swap(At(a, i), At(a, j));
    ++i;
    --j;
  } while (i <= j);
  yielder.Yield();
  if (lo < j) {
    yielder.Yield();
    SortStrings(yielder, a, lo, j);
  }
  if (i < hi) {
    yielder.Yield();
    SortStrings(yielder, a, i, hi);
  }
}

void RemoveDuplicates(Yielder& yielder, std::vector<std::string>& a) {
  const auto n = static_cast<int64_t>(a.size()) - 1;  // highest index
  auto at = [&a](int64_t i) -> std::string& { return a[static_cast<size_t>(i)]; };

  // 1-2. Empty every run of entries equal to the entry before it.
  yielder.Yield();
  int64_t d = 1;
  for (int64_t j = 0; j <= n;) {
    yielder.Yield();
    if (j + d > n) break;
    yielder.Yield();
    if (at(j).empty()) {
      ++j;
    } else if (at(j + d) == at(j)) {
      yielder.Yield();
      at(j + d).clear();
      ++d;  // and test the same j again
    } else {
      d = 1;
      ++j;
    }
  }

  // 3. Move the non-empty entries to the front.
  yielder.Yield();
  size_t k = 0;
  for (int64_t j = 0; j <= n; ++j) {
    yielder.Yield();
    if (!at(j).empty()) {
      if (static_cast<size_t>(j) != k) a[k] = std::move(at(j));
      ++k;
    }
  }

  // 4. Shrink to the first k entries. Shrinking to none fails and is ignored, so an array of empty entries
  // keeps its size.
  yielder.Yield();
  if (k > 0) a.resize(k);
}

}  // namespace velmora::engine
