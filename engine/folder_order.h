// Ordering the folder list before the store's folder tree is made: SortStrings sorts a string array in place,
// RemoveDuplicates drops repeated and empty entries from a sorted array, so that every folder is listed once
// and before its sub-folders.
//
// Comparisons are exact, by the characters' code values as UTF-16 code units (case-sensitive, no locale): "A"
// before "a", "Inbox" before "Inbox\Old", the empty string before everything. Both functions yield at every
// step, so the status window stays live while a long list is ordered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/host.h"

namespace velmora::engine {

// Whether `a` sorts before `b` by UTF-16 code units. The strings are UTF-8; byte order is code point order,
// which differs from UTF-16 order only where a character above U+FFFF (a surrogate pair, 0xD800..) meets one
// in U+E000..U+FFFF.
bool SortsBefore(const std::string& a, const std::string& b);

// (lo + hi) / 2 rounded to the nearest whole number, halves to the even neighbour: (0 + 3) / 2 gives 2,
// (0 + 1) / 2 gives 0, (2 + 3) / 2 gives 2.
int32_t RoundedMidpoint(int32_t lo, int32_t hi);

// Sorts a[lo..hi] in place, ascending: a recursive quicksort with Hoare partitioning around a copy of the
// entry at RoundedMidpoint(lo, hi). Indices outside the array give Error 9 (subscript out of range).
void SortStrings(Yielder& yielder, std::vector<std::string>& a, int32_t lo, int32_t hi);

// Keeps, in their order, the non-empty entries that do not repeat the entry before them, at indices 0 to
// their count - 1. Only runs that follow an entry directly are dropped, so the result is free of repeats when
// equal entries are adjacent, as in a sorted array. When every entry is empty the final shrink to no entries
// fails and is ignored: the array keeps its size and holds only empty strings.
void RemoveDuplicates(Yielder& yielder, std::vector<std::string>& a);

}  // namespace velmora::engine
