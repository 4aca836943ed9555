// The property maps' container must answer as the ordered map it replaced: keys in order whatever order they
// came in, the first value of a key kept, and a damaged file's unsorted records sorted once.
#include "pst/ltp/flat_map.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::pst {
namespace {

using Map = FlatMap<uint16_t, std::string>;

std::string Keys(const Map& m) {
  std::string out;
  for (const auto& [k, v] : m) out += std::to_string(k) + "=" + v + " ";
  return out;
}

TEST(FlatMapTest, AnswersAsAnOrderedMap) {
  Map m;
  m[30] = "c";
  m.try_emplace(10, "a");
  m.emplace(20, "b");
  EXPECT_FALSE(m.try_emplace(10, "x").second);  // a key already there keeps its value
  m.insert_or_assign(30, "C");
  EXPECT_EQ(Keys(m), "10=a 20=b 30=C ");
  EXPECT_EQ(m.find(25), m.end());
  EXPECT_EQ(m.find(40), m.end());
  EXPECT_EQ(m.lower_bound(25)->first, 30);
  EXPECT_EQ(m.erase(20), 1u);
  EXPECT_EQ(m.erase(20), 0u);
  EXPECT_EQ(m.erase(m.begin())->first, 30);
  EXPECT_EQ(Keys(m), "30=C ");
  EXPECT_THROW(m.at(10), std::out_of_range);

  // Records of a damaged file: out of order, a key twice (the first stands, as std::map's emplace).
  const Map read = Map::FromUnsorted({{5, "e"}, {1, "first"}, {3, "c"}, {1, "second"}});
  EXPECT_EQ(Keys(read), "1=first 3=c 5=e ");
}

}  // namespace
}  // namespace velmora::pst
