#include "engine/folder_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/errors.h"

namespace velmora::engine {
namespace {

class CountingYielder : public Yielder {
 public:
  void Yield() override { ++count; }
  int64_t count = 0;
};

using Strings = std::vector<std::string>;

Strings Sorted(Strings a) {
  CountingYielder y;
  if (!a.empty()) SortStrings(y, a, 0, static_cast<int32_t>(a.size()) - 1);
  return a;
}

Strings Deduplicated(Strings a) {
  CountingYielder y;
  RemoveDuplicates(y, a);
  return a;
}

TEST(RoundedMidpoint, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundedMidpoint(0, 3), 2);
  EXPECT_EQ(RoundedMidpoint(0, 1), 0);
  EXPECT_EQ(RoundedMidpoint(2, 3), 2);
  EXPECT_EQ(RoundedMidpoint(3, 4), 4);
  EXPECT_EQ(RoundedMidpoint(0, 4), 2);
  EXPECT_EQ(RoundedMidpoint(5, 5), 5);
  EXPECT_EQ(RoundedMidpoint(2'147'483'646, 2'147'483'647), 2'147'483'646);  // no overflow in the sum
}

TEST(FolderOrder, SortThenDropRepeatsAndEmptyEntries) {
  const Strings sorted = Sorted({"b", "a", "b", "", "a"});
  EXPECT_EQ(sorted, (Strings{"", "a", "a", "b", "b"}));
  EXPECT_EQ(Deduplicated(sorted), (Strings{"a", "b"}));
}

TEST(FolderOrder, ExactCaseSensitiveCodeValueOrder) {
  const Strings sorted = Sorted({"inbox", "Inbox\\Old", "Inbox", "INBOX", "Inbox/Old", "Sent", "A", "a"});
  EXPECT_EQ(sorted, (Strings{"A", "INBOX", "Inbox", "Inbox/Old", "Inbox\\Old", "Sent", "a", "inbox"}));
  EXPECT_EQ(Deduplicated(sorted), sorted) << "entries that differ only in case all stay";
}

TEST(FolderOrder, CharactersAboveFfffSortAsSurrogatePairs) {
  const std::string emoji = "\xF0\x9F\x93\x81";  // U+1F4C1, D83D DCC1 in UTF-16
  const std::string fullwidth = "\xEF\xBC\xA1";  // U+FF21
  const std::string e_acute = "\xC3\xA9";        // U+00E9
  EXPECT_EQ(Sorted({fullwidth, emoji, e_acute, "z"}), (Strings{"z", e_acute, emoji, fullwidth}));
  EXPECT_TRUE(SortsBefore("Inbox", "Inbox" + emoji));
  EXPECT_FALSE(SortsBefore(fullwidth, emoji));
}

TEST(FolderOrder, SortsOnlyTheGivenRange) {
  Strings a = {"z", "c", "b", "a", "y"};
  CountingYielder y;
  SortStrings(y, a, 1, 3);
  EXPECT_EQ(a, (Strings{"z", "a", "b", "c", "y"}));
  SortStrings(y, a, 4, 4);  // one entry: unchanged
  EXPECT_EQ(a.back(), "y");
  EXPECT_GT(y.count, 0);
}

TEST(FolderOrder, IndicesOutsideTheArrayAreSubscriptErrors) {
  Strings a = {"b", "a", "c"};
  CountingYielder y;
  try {
    SortStrings(y, a, 0, 5);
    FAIL() << "expected Error 9";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrSubscriptOutOfRange);
  }
}

TEST(FolderOrder, AgreesWithAReferenceSortOnRandomLists) {
  std::mt19937 rng(20261207);
  const Strings alphabet = {
      "", "a", "A", "b", "Inbox", "Inbox\\Old", "inbox", "\xC3\xA9", "\xF0\x9F\x93\x81", "\xEF\xBC\xA1"};
  for (int round = 0; round < 300; ++round) {
    Strings a(rng() % 40);
    for (std::string& s : a) s = alphabet[rng() % alphabet.size()];
    Strings expected = a;
    std::sort(expected.begin(), expected.end(), SortsBefore);
    const Strings sorted = Sorted(a);
    ASSERT_EQ(sorted, expected) << "round " << round;

    Strings unique;
    for (const std::string& s : expected) {
      if (!s.empty() && (unique.empty() || unique.back() != s)) unique.push_back(s);
    }
    const Strings dedup = Deduplicated(sorted);
    if (unique.empty()) {
      EXPECT_EQ(dedup.size(), sorted.size()) << "all empty: the array keeps its size";
      EXPECT_TRUE(std::all_of(dedup.begin(), dedup.end(), [](const auto& s) { return s.empty(); }));
    } else {
      ASSERT_EQ(dedup, unique) << "round " << round;
    }
  }
}

TEST(RemoveDuplicates, AllEmptyArraysKeepTheirSize) {
  EXPECT_EQ(Deduplicated({""}), (Strings{""}));
  EXPECT_EQ(Deduplicated({"", "", ""}), (Strings{"", "", ""}));
  EXPECT_EQ(Deduplicated({}), (Strings{}));
}

TEST(RemoveDuplicates, OnlyAdjacentRepeatsGo) {
  EXPECT_EQ(Deduplicated({"a", "a", "a", "b"}), (Strings{"a", "b"}));
  EXPECT_EQ(Deduplicated({"a", "b", "a"}), (Strings{"a", "b", "a"}));  // unsorted input keeps its repeats
  EXPECT_EQ(Deduplicated({"a", "", "a"}), (Strings{"a", "a"}));        // an empty entry breaks the run
  EXPECT_EQ(Deduplicated({"x", "y", "y"}), (Strings{"x", "y"}));
}

}  // namespace
}  // namespace velmora::engine
