#include "net/http_date.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace au;

namespace {

// The bias this run was started for: its own CTest entry says so; the suite
// itself runs under test.sh's CST-8.
std::optional<int> ExpectedBiasMinutes() {
    if (const char* minutes = std::getenv("AU_EXPECT_BIAS_MINUTES")) return std::atoi(minutes);
    if (const char* tz = std::getenv("TZ"); tz && std::string(tz) == "CST-8") return -480;
    return std::nullopt;
}

} // namespace

TEST(AuLocalDate, BiasIsThePlatformsZone) {
    const auto expected = ExpectedBiasMinutes();
    if (!expected) GTEST_SKIP() << "no zone named for this run";
    EXPECT_NEAR(LocalTimeBias(), *expected / 1440.0, 1e-12);
}

TEST(AuLocalDate, ThreeFormsInTheMachinesLocalTime) {
    // The platform's own conversion of the instant; in a zone without
    // daylight saving it must agree with the bias of today.
    TIME_ZONE_INFORMATION zone;
    if (::GetTimeZoneInformation(&zone) != TIME_ZONE_ID_UNKNOWN) GTEST_SKIP() << "zone has daylight saving";
    SYSTEMTIME utc{1994, 11, 0, 6, 8, 49, 37, 0}, local;
    ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    const double expected = *EncodeDate(local.wYear, local.wMonth, local.wDay) +
                            *EncodeTime(local.wHour, local.wMinute, local.wSecond);
    for (const wchar_t* text : {L"Sun, 06 Nov 1994 08:49:37 GMT", L"Sunday, 06-Nov-94 08:49:37 GMT",
                                L"Sun Nov  6 08:49:37 1994"})
        EXPECT_NEAR(HTTPDateToDateTime(text), expected, 1e-8) << text;
    EXPECT_NEAR(HTTPDateToDateTime(L"Sun, 06 Nov 1994 08:49:37 +0100"), expected - 1.0 / 24, 1e-8);
    EXPECT_EQ(HTTPDateToDateTime(L""), 0.0);
    EXPECT_NEAR(HTTPDateToDateTime(L"Sun, 06 Xyz 1994 08:49:37 GMT"), -LocalTimeBias(), 1e-12);
}
