#include "log/log4me_format.h"

#include <gtest/gtest.h>

#include <tuple>

using log4me::Stamp;

TEST(Log4meFormat, LinesFileNamesAndFallbackEntries) {
    const Stamp t{2026, 3, 4, 7, 5, 9, 42};
    EXPECT_EQ(log4me::FormatLogLine(t, ":", "[info ]hi"), "07:05:09.042 [info ]hi\r\n");
    // The user's separator replaces the colons only, whatever its length.
    EXPECT_EQ(log4me::FormatTime(Stamp{2026, 1, 1, 23, 59, 58, 999}, "h."), "23h.59h.58.999");
    EXPECT_EQ(log4me::DayFileName("C:\\a\\logs\\", t), "C:\\a\\logs\\2026-03-04.log");
    EXPECT_EQ(log4me::FormatFallbackLine(t, ":", "Cannot open"), "2026-03-04 07:05:09.042 Cannot open\r\n");
}

TEST(Log4meFormat, LevelSwitches) {
    const struct { const char* level; bool error, info, debug; } cases[] = {
        {"debug", 1, 1, 1}, {"info", 1, 1, 0}, {"error", 1, 0, 0}, {"INFO", 1, 1, 0}, {"DeBuG", 1, 1, 1},
        {"warn", 0, 0, 0},  {"", 0, 0, 0},     {" info", 0, 0, 0}, {"\xD0\xC5\xCF\xA2", 0, 0, 0},
    };
    for (const auto& c : cases) {
        const log4me::Switches s = log4me::SwitchesForLevel(c.level);
        EXPECT_EQ((std::tuple{s.error, s.info, s.debug}), (std::tuple{c.error, c.info, c.debug})) << c.level;
    }
}

TEST(Log4meFormat, ReloadNeedsMoreThanOneSecondOfDateTime) {
    EXPECT_DOUBLE_EQ(log4me::ToDateTime(Stamp{1899, 12, 30}), 0.0);
    EXPECT_DOUBLE_EQ(log4me::ToDateTime(Stamp{2000, 1, 1, 12}), 36526.5);
    EXPECT_DOUBLE_EQ(log4me::ToDateTime(Stamp{2100, 3, 1}) - log4me::ToDateTime(Stamp{2100, 2, 28}), 1.0);
    const double last = log4me::ToDateTime(Stamp{2026, 12, 8, 23, 59, 59, 900});
    EXPECT_FALSE(log4me::ReloadDue(last, last + 0.999 / 86400));
    EXPECT_FALSE(log4me::ReloadDue(last, log4me::ToDateTime(Stamp{2026, 12, 9, 0, 0, 0, 800})));
    EXPECT_TRUE(log4me::ReloadDue(last, log4me::ToDateTime(Stamp{2026, 12, 9, 0, 0, 1, 0})));
    EXPECT_FALSE(log4me::ReloadDue(last, last - 1.0));  // clock set back
}
