#include "fsutil/sorted_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "fsutil/name_order.h"
#include "fsutil/testing/temp_tree.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

std::vector<std::string> ReadAll(SortedListing& listing) {
  std::vector<std::string> out;
  std::string name;
  uint32_t err = 0;
  while (listing.Next(&name, &err)) out.push_back(name);
  EXPECT_EQ(err, 0u);
  return out;
}

// Names that differ only in case (ASCII, Latin-1, Greek, Cyrillic), a character above U+FFFF against one just
// below it (UTF-16 order puts the surrogate pair first), bytes that are not UTF-8, and a random mix of them.
std::vector<std::string> AwkwardNames() {
  std::vector<std::string> names = {"a.eml",
                                    "A.eml",
                                    "b",
                                    "B",
                                    "\xC3\xA9t\xC3\xA9",
                                    "\xC3\x89T\xC3\x89",
                                    "\xCF\x89",
                                    "\xCE\xA9",
                                    "\xD1\x8F",
                                    "\xD0\xAF",
                                    "\xF0\x9F\x98\x80",
                                    "\xEE\x80\x80",
                                    "\xFF",
                                    "x\x80y",
                                    "_",
                                    "~",
                                    "1",
                                    "10",
                                    "9"};
  const std::vector<std::string> parts = {"a",        "A", "\xC3\xA4",         "\xC3\x84",     "\xCE\xB1",
                                          "\xCE\x91", "z", "\xF0\x9F\x98\x80", "\xEE\x80\x80", "\xFE",
                                          ".",        "0"};
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    std::string n;
    for (int k = 1 + static_cast<int>(rng() % 6); k > 0; --k) n += parts[rng() % parts.size()];
    if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
  }
  return names;
}

TEST(SortedListing, SpilledRunsMergeToTheSameOrderAsTheInMemorySort) {
  const std::vector<std::string> names = AwkwardNames();
  std::vector<std::string> expected = names;
  std::sort(expected.begin(), expected.end(),
            [](const std::string& a, const std::string& b) { return NameLess(a, b); });

  testing::TempTree tree;
  for (const size_t run_bytes : {SortedListing::kDefaultRunBytes, size_t{1000}, size_t{1}}) {
    SortedListing listing(run_bytes, tree.root());
    for (const std::string& n : names) ASSERT_EQ(listing.Add(n), 0u);
    ASSERT_EQ(listing.Finish(), 0u);
    EXPECT_EQ(listing.size(), names.size());
    EXPECT_EQ(listing.spilled_runs() > 0, run_bytes != SortedListing::kDefaultRunBytes) << run_bytes;
    EXPECT_EQ(ReadAll(listing), expected) << "run bytes " << run_bytes;
  }
}

TEST(SortedListing, SpillIntoAMissingFolderIsReported) {
  testing::TempTree tree;
  SortedListing listing(1, tree.Path("gone"));
  EXPECT_EQ(listing.Add("a"), 0u);  // the first run is in memory
  EXPECT_EQ(listing.Add("b"), kErrorFileNotFound);
}

}  // namespace
}  // namespace velmora::fsutil
