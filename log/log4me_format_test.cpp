#include "log/log4me_format.h"

#include <gtest/gtest.h>

using log4me::Stamp;

namespace {

Stamp At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    Stamp t;
    t.year = y;
    t.month = mo;
    t.day = d;
    t.hour = h;
    t.minute = mi;
    t.second = s;
    t.millisecond = ms;
    return t;
}

} // namespace

TEST(Log4meFormat, LineHasPaddedTimeUserSeparatorAndCrLf) {
    Stamp t = At(2026, 3, 4, 7, 5, 9, 42);
    EXPECT_EQ(log4me::FormatLogLine(t, ":", "[info ]hello"), "07:05:09.042 [info ]hello\r\n");
    // The separator is the user's, possibly longer than one character; the
    // millisecond dot is fixed.
    EXPECT_EQ(log4me::FormatTime(At(2026, 1, 1, 23, 59, 58, 999), "."), "23.59.58.999");
    EXPECT_EQ(log4me::FormatTime(At(2026, 1, 1, 0, 0, 0, 0), "h"), "00h00h00.000");
}

TEST(Log4meFormat, DayFileNameIsZeroPaddedLocalDate) {
    EXPECT_EQ(log4me::DayFileName("C:\\app\\logs\\", At(2026, 1, 2, 23, 59)), "C:\\app\\logs\\2026-01-02.log");
    EXPECT_EQ(log4me::FormatDay(At(987, 11, 30)), "0987-11-30");
}

TEST(Log4meFormat, FallbackLineCarriesDateTimeAndMessage) {
    EXPECT_EQ(log4me::FormatFallbackLine(At(2026, 12, 8, 1, 2, 3, 4), ":", "Cannot open file \"x\". Denied"),
              "2026-12-08 01:02:03.004 Cannot open file \"x\". Denied\r\n");
}

TEST(Log4meFormat, LevelSwitches) {
    struct Case {
        const char* level;
        bool error, info, debug;
    } cases[] = {
        {"debug", true, true, true}, {"info", true, true, false},   {"error", true, false, false},
        {"INFO", true, true, false}, {"Error", true, false, false}, {"DeBuG", true, true, true},
        {"warn", false, false, false}, {"", false, false, false},  {" info", false, false, false},
        {"infos", false, false, false}, {"\xD0\xC5\xCF\xA2", false, false, false},
    };
    for (const Case& c : cases) {
        log4me::Switches s = log4me::SwitchesForLevel(c.level);
        EXPECT_EQ(s.error, c.error) << c.level;
        EXPECT_EQ(s.info, c.info) << c.level;
        EXPECT_EQ(s.debug, c.debug) << c.level;
    }
}

TEST(Log4meFormat, DateTimeCountsDaysFrom18991230) {
    EXPECT_DOUBLE_EQ(log4me::ToDateTime(At(1899, 12, 30)), 0.0);
    EXPECT_DOUBLE_EQ(log4me::ToDateTime(At(1900, 1, 1)), 2.0);
    EXPECT_DOUBLE_EQ(log4me::ToDateTime(At(2000, 1, 1, 12)), 36526.5);
    // 2000 and 2024 are leap years, 1900 and 2100 are not.
    EXPECT_DOUBLE_EQ(log4me::ToDateTime(At(2024, 3, 1)) - log4me::ToDateTime(At(2024, 2, 28)), 2.0);
    EXPECT_DOUBLE_EQ(log4me::ToDateTime(At(2100, 3, 1)) - log4me::ToDateTime(At(2100, 2, 28)), 1.0);
}

TEST(Log4meFormat, ReloadOnlyAfterMoreThanOneSecond) {
    const double last = log4me::ToDateTime(At(2026, 12, 8, 10, 0, 0, 0));
    EXPECT_FALSE(log4me::ReloadDue(last, last));
    EXPECT_FALSE(log4me::ReloadDue(last, log4me::ToDateTime(At(2026, 12, 8, 10, 0, 0, 999))));
    EXPECT_TRUE(log4me::ReloadDue(last, log4me::ToDateTime(At(2026, 12, 8, 10, 0, 1, 2))));
    // Across midnight the date part counts too.
    const double late = log4me::ToDateTime(At(2026, 12, 8, 23, 59, 59, 900));
    EXPECT_FALSE(log4me::ReloadDue(late, log4me::ToDateTime(At(2026, 12, 9, 0, 0, 0, 500))));
    EXPECT_TRUE(log4me::ReloadDue(late, log4me::ToDateTime(At(2026, 12, 9, 0, 0, 1, 500))));
    // A clock set back never triggers a reload by itself.
    EXPECT_FALSE(log4me::ReloadDue(late, log4me::ToDateTime(At(2026, 12, 8, 9, 0, 0))));
}
