// Resume's set of keys: every key added is found again across the merges of its recent set, none other is.
#include "engine/present_keys.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::engine {
namespace {

TEST(PresentKeysTest, FindsEveryKeyAddedAndNoOtherAcrossMerges) {
  PresentKeys keys;
  const int kCount = 50000;  // several merges: the first at 4,096, then at each eighth of the whole
  for (int i = 0; i < kCount; ++i) {
    keys.Insert("id <" + std::to_string(i) + "@example.org>");
    if (i % 997 == 0) {
      EXPECT_TRUE(keys.Contains("id <" + std::to_string(i) + "@example.org>"));
    }
  }
  keys.Insert("id <7@example.org>");  // a key met twice is held once
  EXPECT_EQ(keys.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i) {
    ASSERT_TRUE(keys.Contains("id <" + std::to_string(i) + "@example.org>")) << i;
    ASSERT_FALSE(keys.Contains("id <" + std::to_string(i) + "@example.net>")) << i;
  }
  EXPECT_FALSE(keys.Contains(""));
  EXPECT_FALSE(keys.Contains("file " + std::string(300, 'x')));
}

}  // namespace
}  // namespace velmora::engine
