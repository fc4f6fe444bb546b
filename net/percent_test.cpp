#include "net/percent.h"
#include "net/versions.h"

#include <gtest/gtest.h>

using namespace au;

TEST(AuPercent, RoundsHalfToEvenAndWrapsIntoAByte) {
    EXPECT_EQ(CalcPercent(50, 200), 25);
    EXPECT_EQ(CalcPercent(1, 8), 12);
    EXPECT_EQ(CalcPercent(3, 8), 38);
    EXPECT_EQ(CalcPercent(2, 3), 67);
    EXPECT_EQ(CalcPercent(5, 0), 0);
    EXPECT_EQ(CalcPercent(3, 1), 44);  // 300
    EXPECT_EQ(CalcPercent(-1, 100), 255);
    EXPECT_EQ(CalcPercent(INT64_MAX, 1), 0);
    EXPECT_EQ(CalcPercent(int64_t{3} << 33, int64_t{8} << 33), 38);
}

TEST(AuVersions, SignedByteOfTheSharedComparison) {
    EXPECT_EQ(CompareVersions(L"2.0", L"10.0"), -1);
    EXPECT_GT(CompareVersions(L"1.0a", L"1.0"), 0);
    EXPECT_EQ(CompareVersions(L"1.2", L"1.2.0.0"), 0);
    EXPECT_EQ(SplitVersion(L"3.4"), (std::array<std::wstring, 4>{L"3", L"4", L"0", L"0"}));
}
