#include "fsutil/file_time.h"

#include <gtest/gtest.h>

namespace velmora::fsutil {
namespace {

TEST(FileTime, UnixTimesCountFrom1601In100NanosecondUnits) {
  EXPECT_EQ(FileTimeFromUnix(0, 0).Value(), 116'444'736'000'000'000ULL);
  EXPECT_EQ(FileTimeFromUnix(1, 500).Value(), 116'444'736'010'000'005ULL);
  EXPECT_EQ(FileTimeFromUnix(-11'644'473'601, 0).Value(), 0u);  // before 1601
  const FileTime t = FileTime::FromValue(0x0123'4567'89AB'CDEFULL);
  EXPECT_EQ(t.high, 0x0123'4567u);
  EXPECT_EQ(t.low, 0x89AB'CDEFu);
}

TEST(FileTime, SystemTimeFieldsAndItsLimit) {
  auto epoch = FileTimeToSystemTime(FileTime{});
  ASSERT_TRUE(epoch);
  EXPECT_EQ(epoch->year, 1601);
  EXPECT_EQ(epoch->month, 1);
  EXPECT_EQ(epoch->day, 1);

  // 2024-02-29 23:59:58.125 UTC is 1,709,251,198 s after 1970.
  auto leap = FileTimeToSystemTime(FileTimeFromUnix(1'709'251'198, 125'000'000));
  ASSERT_TRUE(leap);
  EXPECT_EQ(leap->year, 2024);
  EXPECT_EQ(leap->month, 2);
  EXPECT_EQ(leap->day, 29);
  EXPECT_EQ(leap->hour, 23);
  EXPECT_EQ(leap->minute, 59);
  EXPECT_EQ(leap->second, 58);
  EXPECT_EQ(leap->milliseconds, 125);

  EXPECT_FALSE(FileTimeToSystemTime(FileTime::FromValue(0x8000'0000'0000'0000ULL)));
  auto last = FileTimeToSystemTime(FileTime::FromValue(0x7FFF'FFFF'FFFF'FFFFULL));
  ASSERT_TRUE(last);
  EXPECT_EQ(last->year, 30828);
  EXPECT_FALSE(DateSerialPlusTime(*last));  // beyond the date type's year 9999
}

TEST(FileTime, DateSerialCountsDaysFrom1899December30) {
  EXPECT_EQ(*DateSerialPlusTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_EQ(*DateSerialPlusTime({1900, 1, 1, 0, 0, 0, 0}), 2.0);
  EXPECT_EQ(*DateSerialPlusTime({2000, 1, 1, 12, 0, 0, 999}), 36526.5);  // milliseconds dropped
  EXPECT_EQ(*DateSerialPlusTime({1899, 12, 29, 6, 0, 0, 0}), -0.75);     // the plain sum
  EXPECT_EQ(*DateSerialPlusTime({9999, 12, 31, 0, 0, 0, 0}), 2958465.0);
  EXPECT_FALSE(DateSerialPlusTime({99, 12, 31, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace velmora::fsutil
