// The upgrade's decisions: newer or not, the name a download is kept under,
// the size rule, the percentages and the restart argument.
#include "upgrade/upgrade_rules.h"

#include <gtest/gtest.h>

namespace au {
namespace {

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return *EncodeDate(y, mo, d) + *EncodeTime(h, mi, s);
}

TEST(AuUpgradeVersionByNumber, PartsCompareAsNumbersUnlessOneIsNoNumber) {
    auto newer = [](const wchar_t* remote, const wchar_t* local) {
        return ServerIsNewer(byNumber, remote, local, 0, 0);
    };
    EXPECT_FALSE(newer(L"1.0.0.0", L"1")) << "equal versions";
    EXPECT_TRUE(newer(L"1.10", L"1.9"));
    EXPECT_FALSE(newer(L"1.9", L"1.10"));
    EXPECT_TRUE(newer(L"1.0a", L"1.0")) << "compared whole: 1.0a sorts after 1.0";
    EXPECT_TRUE(newer(L"2", L"1.9.9.9"));
    EXPECT_FALSE(newer(L"1.2.3.4.9", L"1.2.3.4")) << "a fifth part is ignored";
    EXPECT_FALSE(newer(L"", L"1")) << "an empty version is never newer";
    EXPECT_FALSE(newer(L" 2.0", L"1")) << "a leading blank makes the whole texts compare, and blank sorts first";
}

TEST(AuUpgradeVersionByDate, LocalStrictlyEarlierIsOlder) {
    EXPECT_TRUE(ServerIsNewer(byDate, L"", L"", At(2026, 12, 1, 10), At(2016, 5, 26, 11, 16, 38)));
    EXPECT_FALSE(ServerIsNewer(byDate, L"", L"", At(2016, 5, 26, 11, 16, 38), At(2016, 5, 26, 11, 16, 38)));
    EXPECT_FALSE(ServerIsNewer(byDate, L"", L"", At(2016, 5, 26), At(2016, 5, 27)));
}

TEST(AuUpgradeLocaleDate, PictureDecidesOrderAndSeparator) {
    const auto ymd = DateFormatOf(L"yyyy/M/d", L":");
    EXPECT_EQ(ymd.order, LocaleDateFormat::YearMonthDay);
    EXPECT_EQ(ymd.dateSeparator, L'/');
    const auto mdy = DateFormatOf(L"M/d/yyyy", L":");
    EXPECT_EQ(mdy.order, LocaleDateFormat::MonthDayYear);
    const auto dmy = DateFormatOf(L"dd.MM.yyyy", L".");
    EXPECT_EQ(dmy.order, LocaleDateFormat::DayMonthYear);
    EXPECT_EQ(dmy.dateSeparator, L'.');
    EXPECT_EQ(dmy.timeSeparator, L'.');
    EXPECT_EQ(DateFormatOf(L"yyyy'年'M'月'd'日'", L":").order, LocaleDateFormat::YearMonthDay);
}

TEST(AuUpgradeLocaleDate, ReadsDatesWithAndWithoutTimeInTheLocalesOrder) {
    const LocaleDateFormat zh{LocaleDateFormat::YearMonthDay, L'/', L':'};
    const LocaleDateFormat us{LocaleDateFormat::MonthDayYear, L'/', L':'};
    const LocaleDateFormat de{LocaleDateFormat::DayMonthYear, L'.', L':'};
    EXPECT_EQ(ParseLocaleDateTime(L"2016/5/26 11:16:38", zh, 2026), At(2016, 5, 26, 11, 16, 38));
    EXPECT_EQ(ParseLocaleDateTime(L" 2016/05/26 ", zh, 2026), At(2016, 5, 26));
    EXPECT_EQ(ParseLocaleDateTime(L"5/26/2016 11:16", us, 2026), At(2016, 5, 26, 11, 16));
    EXPECT_EQ(ParseLocaleDateTime(L"26.05.16", de, 2026), At(2016, 5, 26)) << "two-digit years near now";
    EXPECT_EQ(ParseLocaleDateTime(L"26.05.90", de, 2026), At(1990, 5, 26));
    EXPECT_EQ(ParseLocaleDateTime(L"5/26", us, 2026), At(2026, 5, 26)) << "no year: this year";
    for (const wchar_t* bad : {L"", L"2016-05-26", L"2016/13/01", L"2016/2/30", L"2016/5/26 25:00",
                               L"2016/5/26 x", L"2016/5/26 11:16:38 PM", L"yesterday"})
        EXPECT_EQ(ParseLocaleDateTime(bad, zh, 2026), std::nullopt) << bad;
}

TEST(AuUpgradeLocaleDate, OwnPatternIsReadWhereTheLocaleCannotAndElseTodayCounts) {
    EXPECT_EQ(FormatVersionDate({2016, 5, 26, 11, 16, 38, 0}), L"2016-05-26 11:16:38");
    EXPECT_EQ(ParseVersionDate(L"2016-05-26 11:16:38"), At(2016, 5, 26, 11, 16, 38));
    EXPECT_EQ(ParseVersionDate(L"16-05-26"), std::nullopt);
    const LocaleDateFormat zh{LocaleDateFormat::YearMonthDay, L'/', L':'};
    const DateTime today = At(2026, 12, 9, 15, 30);
    EXPECT_EQ(VersionDateValue(L"2016-05-26 11:16:38", zh, today), At(2016, 5, 26, 11, 16, 38));
    EXPECT_EQ(VersionDateValue(L"2026/12/10 08:00:00", zh, today), At(2026, 12, 10, 8));
    EXPECT_EQ(VersionDateValue(L"soon", zh, today), At(2026, 12, 9)) << "today at midnight";
    EXPECT_EQ(VersionDateValue(L"", zh, today), At(2026, 12, 9));
}

TEST(AuUpgradeDownloadName, LastElementOfTheAddressInTheProgramsDirectory) {
    EXPECT_EQ(DownloadFileName(L"http://h/a/Setup.exe"), L"Setup.exe");
    EXPECT_EQ(DownloadFileName(L"http://h/a/Setup.exe?v=2&x=/y"), L"Setup.exe") << "the query names no file";
    EXPECT_EQ(DownloadFileName(L"http://h/a/Setup.exe#top"), L"Setup.exe");
    EXPECT_EQ(DownloadFileName(L"http://h/My%20App.exe"), L"My App.exe");
    EXPECT_EQ(DownloadFileName(L"http://h/%E7%89%88%E6%9C%AC.dat"), L"版本.dat");
    EXPECT_EQ(DownloadFileName(L"http://h/a%2F..%2F..%5Cevil.exe"), L"a_.._.._evil.exe")
        << "an escaped separator cannot climb out of the directory";
    EXPECT_EQ(DownloadFileName(L"http://h/x%3A%2A%3F%22%3C%3E%7C%00.dat"), L"x________.dat");
    EXPECT_EQ(DownloadFileName(L"http://h/con.exe"), L"_con.exe");
    EXPECT_EQ(DownloadFileName(L"http://h/COM1"), L"_COM1");
    EXPECT_EQ(DownloadFileName(L"http://h/readme.txt. . "), L"readme.txt");
    // Windows takes the superscripts one to three for the port's digit.
    EXPECT_EQ(DownloadFileName(L"http://h/COM%C2%B9.txt"), L"_COM\u00B9.txt");
    EXPECT_EQ(DownloadFileName(L"http://h/lpt%B2"), L"_lpt\u00B2");
    EXPECT_EQ(DownloadFileName(L"http://h/Com\u00B3 .dll"), L"_Com\u00B3 .dll");
    EXPECT_EQ(DownloadFileName(L"http://h/COM\u2074.txt"), L"COM\u2074.txt") << "superscript four is no digit there";
    for (const wchar_t* none : {L"http://h/dir/", L"http://h/", L"http://h/..", L"http://h/?a=b.exe", L""})
        EXPECT_EQ(DownloadFileName(none), std::nullopt) << none;
}

TEST(AuUpgradeSizeRule, AppliesOnlyToOtherFilesOfSeveralWithAKnownLength) {
    const std::wstring program = L"C:\\Apps\\Quillet.exe";
    EXPECT_FALSE(FetchUnderSizeRule(mfuOnlyIfSizeDifferent, 100, 2, L"C:\\Apps\\data.dat", program, 100));
    EXPECT_TRUE(FetchUnderSizeRule(mfuOnlyIfSizeDifferent, 100, 2, L"C:\\Apps\\data.dat", program, 99));
    EXPECT_TRUE(FetchUnderSizeRule(mfuOnlyIfSizeDifferent, 100, 2, L"C:\\Apps\\data.dat", program, std::nullopt));
    EXPECT_TRUE(FetchUnderSizeRule(mfuOnlyIfSizeDifferent, 100, 2, L"C:\\Apps\\QUILLET.EXE", program, 100))
        << "never for the program's own file";
    EXPECT_TRUE(FetchUnderSizeRule(mfuOnlyIfSizeDifferent, 100, 1, L"C:\\Apps\\data.dat", program, 100))
        << "never with a single file";
    EXPECT_TRUE(FetchUnderSizeRule(mfuOnlyIfSizeDifferent, 0, 2, L"C:\\Apps\\data.dat", program, 0))
        << "never without a length";
    EXPECT_TRUE(FetchUnderSizeRule(mfuAlwaysDownload, 100, 2, L"C:\\Apps\\data.dat", program, 100));
    EXPECT_FALSE(FetchUnderSizeRule(mfuOnlyIfSizeDifferent, 4000000000u, 2, L"C:\\Apps\\big.dat", program,
                                    4000000000LL))
        << "lengths above 2 GB compare unsigned";
}

TEST(AuUpgradePercent, FileShareOnTopOfTheFilesBefore) {
    EXPECT_EQ(TotalPercentsDone(0, 0, 1), 0);
    EXPECT_EQ(TotalPercentsDone(100, 0, 1), 100);
    EXPECT_EQ(TotalPercentsDone(50, 1, 2), 75);
    EXPECT_EQ(TotalPercentsDone(100, 2, 3), 100) << "33 + 67";
    EXPECT_EQ(TotalPercentsDone(0, 1, 3), 33);
    EXPECT_EQ(TotalPercentsDone(99, 0, 0), 0);
}

TEST(AuUpgradeHostText, NamesTheHostWithTheSchemeItWasFetchedBy) {
    EXPECT_EQ(UnreachableHostText(L"http://example.com/info.txt", L"example.com"), L"'http://example.com'");
    EXPECT_EQ(UnreachableHostText(L"https://example.com:8443/x", L"example.com"), L"'https://example.com'");
    EXPECT_EQ(UnreachableHostText(L"example.com/info.txt", L"example.com"), L"'http://example.com'");
}

} // namespace
} // namespace au
