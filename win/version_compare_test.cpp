#include "win/version_compare.h"

#include <gtest/gtest.h>

using win::CompareVersions;
using win::SplitVersion;

TEST(VersionSplit, FourPartsMissingOnesAreZeroFifthIgnored) {
    EXPECT_EQ(SplitVersion(L"1.2"), (std::array<std::wstring, 4>{L"1", L"2", L"0", L"0"}));
    EXPECT_EQ(SplitVersion(L"1.2.3.4.5"), (std::array<std::wstring, 4>{L"1", L"2", L"3", L"4"}));
    EXPECT_EQ(SplitVersion(L""), (std::array<std::wstring, 4>{L"", L"0", L"0", L"0"}));
    EXPECT_EQ(SplitVersion(L"1..2"), (std::array<std::wstring, 4>{L"1", L"", L"2", L"0"}));
}

TEST(VersionCompare, PartsCompareAsNumbers) {
    EXPECT_EQ(CompareVersions(L"1.2", L"1.2.0.0"), 0);
    EXPECT_EQ(CompareVersions(L"1", L"1.0.0.0"), 0);
    EXPECT_EQ(CompareVersions(L"1.10", L"1.9"), 1);
    EXPECT_EQ(CompareVersions(L"1.9", L"1.10"), -1);
    EXPECT_EQ(CompareVersions(L"2.0", L"10.0"), -1);
    EXPECT_EQ(CompareVersions(L"1.0.0.2", L"1.0.0.1"), 1);
    // Only the first four parts count.
    EXPECT_EQ(CompareVersions(L"1.0.0.0.9", L"1.0.0.0.1"), 0);
    // Negative parts other than -1 are numbers too.
    EXPECT_EQ(CompareVersions(L"1.-2", L"1.-3"), 1);
}

TEST(VersionCompare, APartThatIsNoNumberComparesTheWholeTexts) {
    EXPECT_GT(CompareVersions(L"1.0a", L"1.0"), 0);
    EXPECT_LT(CompareVersions(L"1.0", L"1.0a"), 0);
    EXPECT_EQ(CompareVersions(L"1.x", L"1.x"), 0);
    // -1 itself stands for "not a number": 1.-1 against 1.0 compares "1.-1"
    // with "1.0" as text, and '-' sorts before '0'.
    EXPECT_EQ(CompareVersions(L"1.-1", L"1.0"), -1);
    // The walk stops at the first differing pair before it meets the text.
    EXPECT_EQ(CompareVersions(L"2.a", L"1.b"), 1);
    // As text, "9" sorts after "10a": the fallback is ordinal, not numeric.
    EXPECT_EQ(CompareVersions(L"9.a", L"10a"), 1);
    EXPECT_EQ(CompareVersions(L"", L"0"), -1);
    EXPECT_EQ(CompareVersions(L"99999999999", L"1"), 1);
}
