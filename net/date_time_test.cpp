#include "net/date_time.h"

#include <gtest/gtest.h>

using namespace au;

TEST(AuDateTime, DosPackingRoundsToTheMillisecondThenHalvesSeconds) {
    EXPECT_EQ(*EncodeDate(2000, 3, 1), 36586.0);
    EXPECT_FALSE(EncodeDate(1900, 2, 29));
    // 23:59:59.9996 is the next day's midnight, as a clock would show it.
    const auto late = ToDosDateTime(*EncodeDate(2024, 2, 29) + (86400 - 0.0004) / 86400);
    ASSERT_TRUE(late);
    EXPECT_EQ(late->date, (44 << 9) | (3 << 5) | 1);
    EXPECT_EQ(late->time, 0);
    EXPECT_EQ(ToDosDateTime(*EncodeTime(4, 5, 7) + 40000)->time, (4 << 11) | (5 << 5) | 3);
    EXPECT_FALSE(ToDosDateTime(*EncodeDate(1979, 12, 31)));
    EXPECT_FALSE(ToDosDateTime(*EncodeDate(2108, 1, 1)));
    EXPECT_FALSE(ToDosDateTime(1e300));
}
