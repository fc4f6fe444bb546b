#include "net/http_date.h"

#include <gtest/gtest.h>

using namespace au;

namespace {

constexpr double kHour = 1.0 / 24;
constexpr double kTolerance = 1e-8;  // below a millisecond

// 1994-11-06 08:49:37 UTC.
double Instant() { return *EncodeDate(1994, 11, 6) + *EncodeTime(8, 49, 37); }

} // namespace

TEST(AuHttpDate, ThreeFormsGiveTheSameInstant) {
    for (double bias : {0.0, -8 * kHour, 5 * kHour}) {
        EXPECT_NEAR(HTTPDateToDateTime(L"Sun, 06 Nov 1994 08:49:37 GMT", bias), Instant() - bias, kTolerance);
        EXPECT_NEAR(HTTPDateToDateTime(L"Sunday, 06-Nov-94 08:49:37 GMT", bias), Instant() - bias, kTolerance);
        EXPECT_NEAR(HTTPDateToDateTime(L"Sun Nov  6 08:49:37 1994", bias), Instant() - bias, kTolerance);
    }
    EXPECT_NEAR(HTTPDateToDateTime(L"  sun, 06 nov 1994 08:49:37 gmt ", 0), Instant(), kTolerance);
    EXPECT_NEAR(HTTPDateToDateTime(L"06 Nov 1994 08:49", 0), Instant() - 37 / 86400.0, kTolerance);
}

TEST(AuHttpDate, NumericZoneIsTakenOff) {
    EXPECT_NEAR(HTTPDateToDateTime(L"Sun, 06 Nov 1994 08:49:37 +0100", 0), Instant() - kHour, kTolerance);
    EXPECT_NEAR(HTTPDateToDateTime(L"Sun, 06 Nov 1994 08:49:37 -0530", 0), Instant() + 5.5 * kHour, kTolerance);
}

TEST(AuHttpDate, TwoDigitYearsPivotAtEighty) {
    EXPECT_NEAR(HTTPDateToDateTime(L"Sunday, 01-Jan-79 00:00:00 GMT", 0), *EncodeDate(2079, 1, 1), kTolerance);
    EXPECT_NEAR(HTTPDateToDateTime(L"Tuesday, 01-Jan-80 00:00:00 GMT", 0), *EncodeDate(1980, 1, 1), kTolerance);
}

TEST(AuHttpDate, TheYear1900KeepsItsTimeAndZone) {
    EXPECT_NEAR(HTTPDateToDateTime(L"Tue, 06 Nov 1900 08:49:37 +0100", 0),
                *EncodeDate(1900, 11, 6) + *EncodeTime(7, 49, 37), kTolerance);
}

TEST(AuHttpDate, EmptyIsZeroAndImpossibleDatesAreTheShiftedZero) {
    EXPECT_EQ(HTTPDateToDateTime(L" \t ", 5 * kHour), 0.0);
    EXPECT_NEAR(HTTPDateToDateTime(L"Sun, 06 Foo 1994 08:49:37 GMT", -8 * kHour), 8 * kHour, kTolerance);
    EXPECT_NEAR(HTTPDateToDateTime(L"Sun, 31 Feb 1994 08:49:37 GMT", 0), 0, kTolerance);
    // The reading stops before the zone, which still applies.
    EXPECT_NEAR(HTTPDateToDateTime(L"Sun, 06 Nov 1994 25:49:37 +0100", 0), -kHour, kTolerance);
}

TEST(AuHttpDate, OffsetsCannotCarryADatePastTheCalendar) {
    // A year of -1999 reads as year 1 (below 80, 2000 added); an hour east
    // of GMT its first midnight was still in year 0.
    EXPECT_NEAR(HTTPDateToDateTime(L"01 Jan -1999 00:00:00 +0100", 0), -kHour, kTolerance);
    EXPECT_NEAR(HTTPDateToDateTime(L"Fri, 31 Dec 9999 23:59:59 -0100", 0), kHour, kTolerance);
    EXPECT_NEAR(HTTPDateToDateTime(L"Fri, 31 Dec 9999 23:59:59 GMT", -8 * kHour), 8 * kHour, kTolerance);
    EXPECT_NEAR(HTTPDateToDateTime(L"Fri, 31 Dec 9999 12:00:00 GMT", -8 * kHour),
                *EncodeDate(9999, 12, 31) + 20 * kHour, kTolerance);
}

TEST(AuHttpDate, ZoneOffsetsOfSignedHoursAndMinutes) {
    EXPECT_NEAR(TimeZoneOffsetToDateTime(L"+0100"), kHour, kTolerance);
    EXPECT_NEAR(TimeZoneOffsetToDateTime(L" -0130 (EST)"), -1.5 * kHour, kTolerance);
    for (const wchar_t* none : {L"GMT", L"0100", L"+2500", L"+0160", L"+01", L""})
        EXPECT_EQ(TimeZoneOffsetToDateTime(none), 0.0) << none;
}

TEST(AuHttpDate, SplitAtAndLookupName) {
    std::wstring text = L"a, b";
    EXPECT_EQ(SplitAt(text, L", ", false), L"a");
    EXPECT_EQ(text, L"a, b");
    EXPECT_EQ(SplitAt(text, L", ", true), L"a");
    EXPECT_EQ(text, L"b");
    EXPECT_EQ(SplitAt(text, L" ", true), L"b");
    EXPECT_EQ(text, L"");
    EXPECT_EQ(LookupName(L"FEB", {L"JAN", L"FEB", L"FEB"}), 1);
    EXPECT_EQ(LookupName(L"feb", {L"JAN", L"FEB"}), -1);
}
