#include <gtest/gtest.h>

#include <cwctype>

#include "uReportRules.h"

using namespace reports;

namespace {
constexpr double kMs = 1.0 / 86400000.0;
std::uint16_t DosDate(int y, int m, int d) { return static_cast<std::uint16_t>(((y - 1980) << 9) | (m << 5) | d); }
std::uint16_t DosTime(int h, int mi, int s) { return static_cast<std::uint16_t>((h << 11) | (mi << 5) | (s / 2)); }
} // namespace

TEST(ReportTimeRule, LaterOnlyByAtLeastOneMillisecond) {
    const double t = EncodeDate(2024, 3, 1) + 0.5;
    EXPECT_FALSE(IsLaterReportTime(t, t));
    EXPECT_FALSE(IsLaterReportTime(t + 0.4 * kMs, t));
    EXPECT_FALSE(IsLaterReportTime(t + 0.99 * kMs, t));
    EXPECT_TRUE(IsLaterReportTime(t + 1.01 * kMs, t));
    EXPECT_TRUE(IsLaterReportTime(t + 2.0 / 86400.0, t));
    EXPECT_FALSE(IsLaterReportTime(t - 2.0 / 86400.0, t));
    EXPECT_TRUE(IsLaterReportTime(t, 0.0));
    EXPECT_FALSE(IsLaterReportTime(0.0, t));
}

TEST(ReportTimeRule, EncodeDateCountsFromTheEpoch) {
    EXPECT_EQ(0.0, EncodeDate(1899, 12, 30));
    EXPECT_EQ(1.0, EncodeDate(1899, 12, 31));
    EXPECT_EQ(2.0, EncodeDate(1900, 1, 1));
    EXPECT_EQ(29221.0, EncodeDate(1980, 1, 1));
    EXPECT_EQ(36526.0, EncodeDate(2000, 1, 1));
    EXPECT_EQ(45352.0, EncodeDate(2024, 3, 1));
    EXPECT_EQ(EncodeDate(2024, 3, 1) - 1, EncodeDate(2024, 2, 29));
}

TEST(ReportDosDateTime, DateFromHighWordTimeFromLowWord) {
    double v = DosDateTimeToDateTime(DosDate(2023, 5, 6), DosTime(7, 8, 10));
    EXPECT_DOUBLE_EQ(EncodeDate(2023, 5, 6) + (7 * 3600 + 8 * 60 + 10) / 86400.0, v);
    EXPECT_EQ(L"2023-05-06 07:08:10", FormatReportDateTime(v, L":"));
}

TEST(ReportDosDateTime, RangeEnds) {
    EXPECT_EQ(L"1980-01-01 00:00:00", FormatReportDateTime(DosDateTimeToDateTime(DosDate(1980, 1, 1), 0), L":"));
    EXPECT_EQ(L"2107-12-31 23:59:58",
              FormatReportDateTime(DosDateTimeToDateTime(DosDate(2107, 12, 31), DosTime(23, 59, 58)), L":"));
    EXPECT_EQ(L"2024-02-29 12:00:00",
              FormatReportDateTime(DosDateTimeToDateTime(DosDate(2024, 2, 29), DosTime(12, 0, 0)), L":"));
}

TEST(ReportDosDateTime, InvalidPairsGiveZero) {
    EXPECT_EQ(0.0, DosDateTimeToDateTime(0, 0));                               // month and day 0
    EXPECT_EQ(0.0, DosDateTimeToDateTime(DosDate(2023, 2, 29), 0));            // no leap year
    EXPECT_EQ(0.0, DosDateTimeToDateTime(DosDate(2023, 13, 1), 0));            // month 13
    EXPECT_EQ(0.0, DosDateTimeToDateTime(DosDate(2023, 4, 31), 0));            // April 31
    EXPECT_EQ(0.0, DosDateTimeToDateTime(DosDate(2023, 1, 1), DosTime(24, 0, 0)));
    EXPECT_EQ(0.0, DosDateTimeToDateTime(DosDate(2023, 1, 1), (12 << 11) | (60 << 5)));
    EXPECT_EQ(0.0, DosDateTimeToDateTime(DosDate(2023, 1, 1), (12 << 11) | 30));  // 60 seconds
}

TEST(ReportTimeFormat, FixedWidthsAndSeparator) {
    EXPECT_EQ(L"1899-12-30 00:00:00", FormatReportDateTime(0.0, L":"));
    EXPECT_EQ(L"1899-12-30 00.00.00", FormatReportDateTime(0.0, L"."));
    const double v = EncodeDate(2009, 1, 2) + (3 * 3600 + 4 * 60 + 5) / 86400.0;
    EXPECT_EQ(L"2009-01-02 03:04:05", FormatReportDateTime(v, L":"));
    EXPECT_EQ(L"2009-01-02 03时04时05", FormatReportDateTime(v, L"时"));
    EXPECT_EQ(L"2009-01-02 030405", FormatReportDateTime(v, L""));
    const double evening = EncodeDate(2031, 12, 31) + (23 * 3600 + 59 * 60 + 59) / 86400.0;
    EXPECT_EQ(L"2031-12-31 23:59:59", FormatReportDateTime(evening, L":"));
}

TEST(ReportTimeFormat, RoundsToTheNearestMillisecondWithoutShowingSixtySeconds) {
    const double almostMidnight = EncodeDate(2020, 6, 30) + 1.0 - 0.2 * kMs;
    EXPECT_EQ(L"2020-07-01 00:00:00", FormatReportDateTime(almostMidnight, L":"));
    const double justBefore = EncodeDate(2020, 6, 30) + (12 * 3600 + 59) / 86400.0 + 999.0 * kMs;
    EXPECT_EQ(L"2020-06-30 12:00:59", FormatReportDateTime(justBefore, L":"));
}

TEST(ReportTimeFormat, NonsenseValuesDoNotCrash) {
    EXPECT_EQ(L"1899-12-30 00:00:00", FormatReportDateTime(1.0 / 0.0, L":"));
    EXPECT_EQ(L"1899-12-30 00:00:00", FormatReportDateTime(1e300, L":"));
    EXPECT_EQ(L"1899-12-29 06:00:00", FormatReportDateTime(-1.25, L":"));
}

TEST(ReportTimeFormat, DaysOutsideTheCalendarShowTheZeroDate) {
    // Years of five digits or with a sign would break the column's fixed widths.
    EXPECT_EQ(L"9999-12-31 23:59:59", FormatReportDateTime(EncodeDate(9999, 12, 31) + 86399.0 / 86400.0, L":"));
    EXPECT_EQ(L"1899-12-30 00:00:00", FormatReportDateTime(EncodeDate(9999, 12, 31) + 1.0, L":"));
    EXPECT_EQ(L"1899-12-30 00:00:00", FormatReportDateTime(2.99e6, L":"));
    EXPECT_EQ(L"1899-12-30 00:00:00", FormatReportDateTime(EncodeDate(9999, 12, 31) + 1.0 - 0.2 * kMs, L":"));
    EXPECT_EQ(L"0001-01-01 12:00:00", FormatReportDateTime(EncodeDate(1, 1, 1) - 0.5, L":"));
    EXPECT_EQ(L"1899-12-30 00:00:00", FormatReportDateTime(EncodeDate(1, 1, 1) - 1.0, L":"));
    EXPECT_EQ(L"1899-12-30 00:00:00", FormatReportDateTime(-2.9e6, L":"));
}

TEST(ReportDeleteConfirmation, AssembledWithoutSeparators) {
    EXPECT_EQ(L"尊敬的纳税人，确定要删除<增值税申报表>的报表文件[r1.dat]吗?一旦删除将无法恢复！",
              DeleteConfirmationText(L"增值税申报表", L"r1.dat"));
    EXPECT_EQ(L"尊敬的纳税人，确定要删除<>的报表文件[]吗?一旦删除将无法恢复！", DeleteConfirmationText(L"", L""));
}

TEST(ReportAttributes, ValuesAreComparedNotBitTested) {
    EXPECT_TRUE(IsReportTypeDirectory(16));
    EXPECT_FALSE(IsReportTypeDirectory(48));  // directory + archive
    EXPECT_FALSE(IsReportTypeDirectory(18));  // directory + hidden
    EXPECT_FALSE(IsReportTypeDirectory(17));
    EXPECT_FALSE(IsReportTypeDirectory(16 | 0x2000));  // not indexed
    EXPECT_FALSE(IsReportTypeDirectory(32));
    EXPECT_FALSE(IsReportTypeDirectory(0));

    EXPECT_FALSE(IsReportFileEntry(16));
    EXPECT_TRUE(IsReportFileEntry(48));
    EXPECT_TRUE(IsReportFileEntry(18));
    EXPECT_TRUE(IsReportFileEntry(32));
    EXPECT_TRUE(IsReportFileEntry(128));
    EXPECT_TRUE(IsReportFileEntry(16 | 0x400));  // a linked directory
}

TEST(ReportSettingsEncoding, Utf8IsRecognisedOnlyWhenUnambiguous) {
    EXPECT_TRUE(IsUtf8SettingsText("\xEF\xBB\xBF[reportType]\r\nA=x\r\n"));
    EXPECT_TRUE(IsUtf8SettingsText("[reportType]\r\nA=\xE5\xA2\x9E\xE5\x80\xBC\r\n"));  // 增值
    EXPECT_TRUE(IsUtf8SettingsText("A=\xF0\x9F\x98\x80"));                                   // outside the BMP
    EXPECT_FALSE(IsUtf8SettingsText("[reportType]\r\nA=abc\r\n"));  // plain ASCII: the platform reads it alike
    EXPECT_FALSE(IsUtf8SettingsText(""));
    EXPECT_FALSE(IsUtf8SettingsText("A=\xD4\xF6\xD6\xB5\xCB\xB0"));   // 增值税 in code page 936
    EXPECT_FALSE(IsUtf8SettingsText("A=\xC1\xAA\xCD\xA8"));             // 联通 in code page 936
    EXPECT_FALSE(IsUtf8SettingsText("\xFF\xFE[\0r\0"));                // UTF-16 with its mark
    EXPECT_FALSE(IsUtf8SettingsText(std::string("A=\xC2\xA9\0", 5)));    // a NUL byte
    EXPECT_FALSE(IsUtf8SettingsText("A=\xC0\xAF"));                       // overlong '/'
    EXPECT_FALSE(IsUtf8SettingsText("A=\xE0\x80\xAF"));                  // overlong
    EXPECT_FALSE(IsUtf8SettingsText("A=\xED\xA0\x80"));                  // surrogate
    EXPECT_FALSE(IsUtf8SettingsText("A=\xF4\x90\x80\x80"));             // beyond U+10FFFF
    EXPECT_FALSE(IsUtf8SettingsText("A=\xE5\xA2"));                       // cut short at the end
}

namespace {
bool SameAsciiIgnoringCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (towupper(a[i]) != towupper(b[i])) return false;
    return true;
}
std::optional<std::wstring> Lookup(const std::wstring& text, const std::wstring& key) {
    return FindProfileValue(text, L"reportType", key, SameAsciiIgnoringCase);
}
} // namespace

TEST(ReportSettingsLookup, SectionsKeysBlanksQuotesAndComments) {
    const std::wstring ini = L"\xFEFF" L"A=outside\r\n; comment\r\n[other]\r\nA=other\r\n"
                             L"  [ REPORTTYPE ]  \r\n ;B=commented\r\n a = 甲 类 \r\nA=second\r\n"
                             L"Q=\"quoted\"\r\nS='single'\r\nH=\"half\r\nE=\r\nN\r\nX=a=b\n[next]\r\nZ=z\r\n"
                             L"[reportType]\r\nLATER=ignored\r\n";
    EXPECT_EQ(L"甲 类", Lookup(ini, L"A"));
    EXPECT_EQ(L"quoted", Lookup(ini, L"q"));
    EXPECT_EQ(L"single", Lookup(ini, L"S"));
    EXPECT_EQ(L"\"half", Lookup(ini, L"H"));
    EXPECT_EQ(L"", Lookup(ini, L"E"));
    EXPECT_EQ(L"", Lookup(ini, L"N"));
    EXPECT_EQ(L"a=b", Lookup(ini, L"X"));
    EXPECT_EQ(std::nullopt, Lookup(ini, L"B"));
    EXPECT_EQ(std::nullopt, Lookup(ini, L"Z"));
    EXPECT_EQ(std::nullopt, Lookup(ini, L"LATER"));
    EXPECT_EQ(std::nullopt, Lookup(L"", L"A"));
    EXPECT_EQ(std::nullopt, Lookup(L"[reportType", L"A"));
    EXPECT_EQ(L"1", Lookup(L"[reportType\nA=1", L"A"));
}
