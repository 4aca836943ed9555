#include "fsutil/path_strings.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::fsutil {
namespace {

TEST(Trims, TrimAtNulAndTrimBlanks) {
  EXPECT_EQ(TrimAtNul(std::string("abc\0def", 7)), "abc");
  EXPECT_EQ(TrimAtNul("abc"), "abc");
  EXPECT_EQ(TrimAtNul(std::string("\0x", 2)), "");
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimBlanks("\t a"), "\t a");  // only spaces are blanks
}

}  // namespace
}  // namespace velmora::fsutil
