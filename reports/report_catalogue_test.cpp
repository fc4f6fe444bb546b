#include <gtest/gtest.h>

#include "report_tree.h"
#include "uReportEntity.h"
#include "uReportRules.h"
#include "win/handles.h"
#include "win/strings.h"

using namespace reports;
using namespace reports::testing;

namespace {

double At(int y, int mo, int d, int h, int mi, int s) {
    return EncodeDate(y, mo, d) + (h * 3600 + mi * 60 + s) / 86400.0;
}

class ReportCatalogue : public ::testing::Test {
protected:
    TempTree tree{L"catalogue"};
    std::wstring root = tree.Dir(L"data") + L"\\";
    std::wstring config = tree.Path(L"config.ini");

    void Config(const std::wstring& text, IniEncoding encoding = IniEncoding::Ansi) { WriteIni(config, text, encoding); }
    std::unique_ptr<TReportContainer> Scan() {
        auto c = std::make_unique<TReportContainer>(root, config);
        c->InitReportDir();
        return c;
    }
    std::wstring Data(const std::wstring& relative) { return root + relative; }
    std::wstring File(const std::wstring& relative, const SYSTEMTIME& t) { return tree.File(L"data\\" + relative, t); }
    std::wstring File(const std::wstring& relative) { return tree.File(L"data\\" + relative); }
    std::wstring Dir(const std::wstring& relative, DWORD attributes = 0) { return tree.Dir(L"data\\" + relative, attributes); }
};

const TReportEntity* Entry(const TReportContainer& c, const std::wstring& code) {
    auto it = c.ReportFiles().find(code);
    return it == c.ReportFiles().end() ? nullptr : it->second.get();
}

std::unique_ptr<TReportEntity> Report(const std::wstring& code, const std::wstring& file, double time) {
    auto r = std::make_unique<TReportEntity>();
    r->SetReportCode(code);
    r->SetReportFileName(file);
    r->SetReportFullPath(L"c:\\VORTAN_NSSB\\" + code + L"\\" + file);
    r->SetReportTypeName(L"name of " + code);
    r->SetLastAccessTime(time);
    return r;
}

} // namespace

// ---- merge rule -----------------------------------------------------------

TEST(ReportMerge, FirstFileOfACodeCountsOne) {
    TReportContainer c(L"x:\\none\\", L"");
    auto r = Report(L"A", L"a1", 10.0);
    r->SetTypeReoprtCnt(99);
    c.AddReport(std::move(r));
    ASSERT_EQ(1u, c.ReportFiles().size());
    EXPECT_EQ(1, Entry(c, L"A")->TypeReoprtCnt());
    EXPECT_EQ(L"a1", Entry(c, L"A")->ReportFileName());
}

TEST(ReportMerge, LaterFileReplacesAndCountGrows) {
    TReportContainer c(L"x:\\none\\", L"");
    const double t1 = At(2024, 1, 1, 8, 0, 0), t2 = At(2024, 1, 3, 8, 0, 0), t3 = At(2024, 1, 2, 8, 0, 0);
    c.AddReport(Report(L"A", L"t1", t1));
    c.AddReport(Report(L"A", L"t2", t2));
    c.AddReport(Report(L"A", L"t3", t3));
    EXPECT_EQ(L"t2", Entry(c, L"A")->ReportFileName());
    EXPECT_EQ(t2, Entry(c, L"A")->LastAccessTime());
    EXPECT_EQ(3, Entry(c, L"A")->TypeReoprtCnt());
}

TEST(ReportMerge, TimesWithinOneMillisecondAreEqualAndTheFirstStays) {
    TReportContainer c(L"x:\\none\\", L"");
    const double t = At(2024, 1, 1, 8, 0, 0);
    c.AddReport(Report(L"A", L"first", t));
    c.AddReport(Report(L"A", L"same", t));
    c.AddReport(Report(L"A", L"half-ms-later", t + 0.5 / 86400000.0));
    EXPECT_EQ(L"first", Entry(c, L"A")->ReportFileName());
    EXPECT_EQ(3, Entry(c, L"A")->TypeReoprtCnt());
    c.AddReport(Report(L"A", L"two-ms-later", t + 2.0 / 86400000.0));
    EXPECT_EQ(L"two-ms-later", Entry(c, L"A")->ReportFileName());
    EXPECT_EQ(4, Entry(c, L"A")->TypeReoprtCnt());
}

TEST(ReportMerge, CodesAreComparedExactly) {
    TReportContainer c(L"x:\\none\\", L"");
    c.AddReport(Report(L"abc", L"1", 1.0));
    c.AddReport(Report(L"ABC", L"2", 1.0));
    c.AddReport(Report(L"abc ", L"3", 1.0));
    EXPECT_EQ(3u, c.ReportFiles().size());
    c.AddReport(nullptr);  // nothing to merge, nothing to crash on
    EXPECT_EQ(3u, c.ReportFiles().size());
}

// ---- the scan -------------------------------------------------------------

TEST_F(ReportCatalogue, PlainDirectoryIsAReportTypeOtherAttributeValuesAreNot) {
    Config(L"[reportType]\r\nA01=甲\r\nA02=乙\r\nA03=丙\r\n");
    Dir(L"A01");
    Dir(L"A02");
    Dir(L"A03", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM);
    ASSERT_EQ(16u, Attributes(Data(L"A01")));
    const DWORD marked = MarkDirectory(Data(L"A02"));
    ASSERT_TRUE(marked == 48u || marked == 18u) << marked;
    ASSERT_EQ(20u, Attributes(Data(L"A03")));
    File(L"A01\\r.dat");
    File(L"A02\\r.dat");
    File(L"A03\\r.dat");
    File(L"A01.dat");  // a file at the top is never a report type
    auto c = Scan();
    ASSERT_EQ(1u, c->ReportFiles().size());
    const TReportEntity* a = Entry(*c, L"A01");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(L"甲", a->ReportTypeName());
    EXPECT_EQ(L"A01", a->ReportCode());
    EXPECT_EQ(L"r.dat", a->ReportFileName());
    EXPECT_EQ(root + L"A01\\r.dat", a->ReportFullPath());
    EXPECT_EQ(1, a->TypeReoprtCnt());
}

TEST_F(ReportCatalogue, NestedDirectoryCountsOnlyWithExtraAttributeBits) {
    Config(L"[reportType]\r\nB=乙类\r\n");
    File(L"B\\old.dat", Local(2021, 1, 1, 10, 0, 0));
    Dir(L"B\\plain");
    ASSERT_TRUE(SetWriteTime(Data(L"B\\plain"), Local(2023, 1, 1, 10, 0, 0)));
    auto c = Scan();
    ASSERT_NE(nullptr, Entry(*c, L"B"));
    EXPECT_EQ(L"old.dat", Entry(*c, L"B")->ReportFileName());
    EXPECT_EQ(1, Entry(*c, L"B")->TypeReoprtCnt());

    Dir(L"B\\archived");
    const DWORD marked = MarkDirectory(Data(L"B\\archived"));
    ASSERT_TRUE(marked == 48u || marked == 18u) << marked;
    ASSERT_TRUE(SetWriteTime(Data(L"B\\archived"), Local(2022, 6, 1, 9, 30, 0)));
    c = Scan();
    EXPECT_EQ(L"archived", Entry(*c, L"B")->ReportFileName());
    EXPECT_EQ(2, Entry(*c, L"B")->TypeReoprtCnt());
    EXPECT_EQ(At(2022, 6, 1, 9, 30, 0), Entry(*c, L"B")->LastAccessTime());
}

TEST_F(ReportCatalogue, FilesOfAnyAttributeCount) {
    Config(L"[reportType]\r\nC=丙\r\n");
    File(L"C\\hidden.dat", Local(2020, 1, 1, 0, 0, 0));
    SetAttributes(Data(L"C\\hidden.dat"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    File(L"C\\readonly.dat", Local(2020, 1, 2, 0, 0, 0));
    SetAttributes(Data(L"C\\readonly.dat"), FILE_ATTRIBUTE_READONLY);
    auto c = Scan();
    ASSERT_NE(nullptr, Entry(*c, L"C"));
    EXPECT_EQ(2, Entry(*c, L"C")->TypeReoprtCnt());
    EXPECT_EQ(L"readonly.dat", Entry(*c, L"C")->ReportFileName());
}

TEST_F(ReportCatalogue, LastWriteTimeThroughLocalTimeInTwoSecondSteps) {
    Config(L"[reportType]\r\nT=时间\r\n");
    const std::wstring f = File(L"T\\r.dat", Local(2023, 5, 6, 7, 8, 9, 700));
    // Creation and access times must not be what is read.
    {
        FILETIME other{};
        SYSTEMTIME st = Local(2010, 1, 1, 1, 1, 1);
        ::SystemTimeToFileTime(&st, &other);
        win::UniqueHFile h(
            ::CreateFileW(f.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(h);
        ASSERT_TRUE(::SetFileTime(h.get(), &other, &other, nullptr));
    }
    auto c = Scan();
    ASSERT_NE(nullptr, Entry(*c, L"T"));
    EXPECT_EQ(At(2023, 5, 6, 7, 8, 8), Entry(*c, L"T")->LastAccessTime());
    EXPECT_EQ(L"2023-05-06 07:08:08", FormatReportDateTime(Entry(*c, L"T")->LastAccessTime(), L":"));
    // Local means the machine's zone (UTC+8 in the test run): a UTC midnight
    // file shows eight hours later.
    TIME_ZONE_INFORMATION tz;
    ::GetTimeZoneInformation(&tz);
    SYSTEMTIME utc = Local(2022, 12, 31, 23, 0, 0);
    FILETIME ft;
    ::SystemTimeToFileTime(&utc, &ft);
    {
        win::UniqueHFile h(
            ::CreateFileW(f.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(h);
        ASSERT_TRUE(::SetFileTime(h.get(), nullptr, nullptr, &ft));
    }
    EXPECT_DOUBLE_EQ(At(2022, 12, 31, 23, 0, 0) - tz.Bias / 1440.0, ReportFileTime(f));
}

TEST_F(ReportCatalogue, SameTwoSecondStepKeepsTheFirstListedFile) {
    Config(L"[reportType]\r\nS=同秒\r\n");
    File(L"S\\one.dat");
    File(L"S\\two.dat");
    File(L"S\\three.dat");
    const auto order = ListingOrder(Data(L"S"));
    ASSERT_EQ(3u, order.size());
    // 10.2 s, 11.9 s and 10.0 s: one MS-DOS step, so all equal.
    SetWriteTime(Data(L"S\\" + order[0]), Local(2024, 4, 4, 4, 4, 10, 200));
    SetWriteTime(Data(L"S\\" + order[1]), Local(2024, 4, 4, 4, 4, 11, 900));
    SetWriteTime(Data(L"S\\" + order[2]), Local(2024, 4, 4, 4, 4, 10, 0));
    auto c = Scan();
    EXPECT_EQ(order[0], Entry(*c, L"S")->ReportFileName());
    EXPECT_EQ(3, Entry(*c, L"S")->TypeReoprtCnt());
    EXPECT_EQ(At(2024, 4, 4, 4, 4, 10), Entry(*c, L"S")->LastAccessTime());
}

TEST_F(ReportCatalogue, LatestFileWinsWhateverTheListingOrder) {
    Config(L"[reportType]\r\nM=合并\r\n");
    File(L"M\\a.dat");
    File(L"M\\b.dat");
    File(L"M\\c.dat");
    const auto order = ListingOrder(Data(L"M"));
    ASSERT_EQ(3u, order.size());
    // Listed t1, t2, t3 with t1 < t3 < t2.
    SetWriteTime(Data(L"M\\" + order[0]), Local(2024, 1, 1, 12, 0, 0));
    SetWriteTime(Data(L"M\\" + order[1]), Local(2024, 1, 3, 12, 0, 0));
    SetWriteTime(Data(L"M\\" + order[2]), Local(2024, 1, 2, 12, 0, 0));
    auto c = Scan();
    EXPECT_EQ(order[1], Entry(*c, L"M")->ReportFileName());
    EXPECT_EQ(3, Entry(*c, L"M")->TypeReoprtCnt());
    EXPECT_EQ(At(2024, 1, 3, 12, 0, 0), Entry(*c, L"M")->LastAccessTime());
}

TEST_F(ReportCatalogue, TwoCodesWithOneDisplayNameGiveTwoEntries) {
    Config(L"[reportType]\r\nX1=同名\r\nX2=同名\r\n");
    File(L"X1\\a.dat");
    File(L"X2\\b.dat");
    auto c = Scan();
    ASSERT_EQ(2u, c->ReportFiles().size());
    EXPECT_EQ(L"同名", Entry(*c, L"X1")->ReportTypeName());
    EXPECT_EQ(L"同名", Entry(*c, L"X2")->ReportTypeName());
}

TEST_F(ReportCatalogue, EmptyTypesAndUnlistedTypesAndKeysWithoutDirectoriesGiveNothing) {
    Config(L"[reportType]\r\nEMPTY=空\r\nGHOST=无目录\r\nBLANK=\r\nOK=有\r\n");
    Dir(L"EMPTY");
    Dir(L"EMPTY\\sub");  // a plain nested directory is not a file either
    File(L"UNLISTED\\a.dat");
    File(L"BLANK\\a.dat");
    File(L"OK\\a.dat");
    auto c = Scan();
    ASSERT_EQ(1u, c->ReportFiles().size());
    EXPECT_NE(nullptr, Entry(*c, L"OK"));
}

TEST_F(ReportCatalogue, VanishedFileGetsTimeZero) {
    EXPECT_EQ(0.0, ReportFileTime(Data(L"nothing\\here.dat")));
    const std::wstring f = File(L"V\\gone.dat", Local(2024, 1, 1, 0, 0, 0));
    EXPECT_NE(0.0, ReportFileTime(f));
    ::DeleteFileW(f.c_str());
    EXPECT_EQ(0.0, ReportFileTime(f));
}

TEST_F(ReportCatalogue, TimesWithoutAnMsDosFormCountAsUnreadable) {
    Config(L"[reportType]\r\nOLD=旧\r\n");
    const std::wstring f = File(L"OLD\\1975.dat", Local(1975, 6, 1, 12, 0, 0));
    EXPECT_EQ(0.0, ReportFileTime(f));
    auto c = Scan();
    EXPECT_EQ(0.0, Entry(*c, L"OLD")->LastAccessTime());
}

TEST_F(ReportCatalogue, MissingDataRootOrRootThatIsAFileGiveAnEmptyCatalogue) {
    Config(L"[reportType]\r\nA=甲\r\n");
    TReportContainer missing(tree.Path(L"no-such-dir\\"), config);
    missing.InitReportDir();
    EXPECT_TRUE(missing.ReportFiles().empty());
    const std::wstring file = tree.File(L"rootfile");
    TReportContainer isFile(file + L"\\", config);
    isFile.InitReportDir();
    EXPECT_TRUE(isFile.ReportFiles().empty());
    TReportContainer empty(root, config);
    empty.InitReportDir();
    EXPECT_TRUE(empty.ReportFiles().empty());
}

TEST_F(ReportCatalogue, SubdirectoryThatCannotBeListedIsPassedOver) {
    Config(L"[reportType]\r\nLOCKED=锁\r\nOPEN=开\r\n");
    File(L"LOCKED\\a.dat");
    File(L"OPEN\\a.dat");
    // Held open without sharing, the directory refuses to be listed.
    win::UniqueHFile h(::CreateFileW(Data(L"LOCKED").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(h);
    WIN32_FIND_DATAW probe;
    const bool locked = !win::UniqueFindHandle(::FindFirstFileW((Data(L"LOCKED") + L"\\*.*").c_str(), &probe));
    auto c = Scan();
    h.reset();
    EXPECT_NE(nullptr, Entry(*c, L"OPEN"));
    if (locked) EXPECT_EQ(nullptr, Entry(*c, L"LOCKED"));
    else GTEST_SKIP() << "this platform lists a directory held without sharing";
}

TEST_F(ReportCatalogue, ThousandsOfFiles) {
    Config(L"[reportType]\r\nMANY=很多\r\n");
    Dir(L"MANY");
    for (int i = 0; i < 3000; ++i) File(L"MANY\\r" + std::to_wstring(i) + L".dat", Local(2020, 1, 1, 0, 0, 0));
    SetWriteTime(Data(L"MANY\\r1234.dat"), Local(2020, 1, 1, 0, 0, 2));
    auto c = Scan();
    ASSERT_NE(nullptr, Entry(*c, L"MANY"));
    EXPECT_EQ(3000, Entry(*c, L"MANY")->TypeReoprtCnt());
    EXPECT_EQ(L"r1234.dat", Entry(*c, L"MANY")->ReportFileName());
}

TEST_F(ReportCatalogue, NamesOutsideTheCodePageAndVeryLongNames) {
    const std::wstring emojiCode = L"E\U0001F600";
    const std::wstring longCode(200, L'd');
    const std::wstring longFile = std::wstring(230, L'f') + L".dat";
    Config(L"[reportType]\r\n" + emojiCode + L"=表情\U0001F600\r\n" + longCode + L"=长名\r\n", IniEncoding::Utf16WithBom);
    File(emojiCode + L"\\\U0001F600.dat", Local(2024, 2, 2, 2, 2, 2));
    Dir(longCode);
    const std::wstring longPath = File(longCode + L"\\" + longFile, Local(2024, 3, 3, 3, 3, 4));
    ASSERT_GT(longPath.size(), static_cast<size_t>(MAX_PATH));
    auto c = Scan();
    ASSERT_EQ(2u, c->ReportFiles().size());
    EXPECT_EQ(L"表情\U0001F600", Entry(*c, emojiCode)->ReportTypeName());
    EXPECT_EQ(L"\U0001F600.dat", Entry(*c, emojiCode)->ReportFileName());
    EXPECT_EQ(At(2024, 2, 2, 2, 2, 2), Entry(*c, emojiCode)->LastAccessTime());
    EXPECT_EQ(longPath, Entry(*c, longCode)->ReportFullPath());
    EXPECT_EQ(At(2024, 3, 3, 3, 3, 4), Entry(*c, longCode)->LastAccessTime());
}

TEST_F(ReportCatalogue, NamesThatThePlatformWouldTrimStayDistinct) {
    Config(L"[reportType]\r\nD=点\r\n");
    File(L"D\\r.dat", Local(2024, 1, 1, 0, 0, 0));
    const std::wstring dotted = File(L"D\\r.dat.", Local(2024, 1, 2, 0, 0, 0));
    ASSERT_TRUE(Exists(dotted));
    auto c = Scan();
    ASSERT_NE(nullptr, Entry(*c, L"D"));
    EXPECT_EQ(2, Entry(*c, L"D")->TypeReoprtCnt());
    EXPECT_EQ(L"r.dat.", Entry(*c, L"D")->ReportFileName());
    EXPECT_EQ(At(2024, 1, 2, 0, 0, 0), Entry(*c, L"D")->LastAccessTime());
}

// ---- config.ini -----------------------------------------------------------

TEST_F(ReportCatalogue, ChineseNamesInTheAnsiCodePage) {
    ASSERT_EQ(936u, ::GetACP()) << "the tests run with the Chinese code page";
    Config(L"; 报表类型\r\n[reportType]\r\nZZS=增值税纳税申报表（一般纳税人）\r\nQYSDS = 企业所得税季度预缴 \r\n");
    // The file really is GBK on disk.
    EXPECT_EQ(std::string("\xD4\xF6\xD6\xB5\xCB\xB0", 6), win::ToAnsi(L"增值税"));
    File(L"ZZS\\a.dat");
    File(L"QYSDS\\a.dat");
    auto c = Scan();
    EXPECT_EQ(L"增值税纳税申报表（一般纳税人）", Entry(*c, L"ZZS")->ReportTypeName());
    EXPECT_EQ(L"企业所得税季度预缴", Entry(*c, L"QYSDS")->ReportTypeName());
}

TEST_F(ReportCatalogue, Utf16FileWithByteOrderMark) {
    Config(L"[reportType]\r\nGS=个人所得税\r\nKR=한국어\r\n", IniEncoding::Utf16WithBom);
    File(L"GS\\a.dat");
    File(L"KR\\a.dat");
    auto c = Scan();
    EXPECT_EQ(L"个人所得税", Entry(*c, L"GS")->ReportTypeName());
    EXPECT_EQ(L"한국어", Entry(*c, L"KR")->ReportTypeName());
}

TEST_F(ReportCatalogue, Utf8FilesWithAndWithoutByteOrderMark) {
    File(L"GS\\a.dat");
    File(L"KR\\a.dat");
    for (IniEncoding encoding : {IniEncoding::Utf8, IniEncoding::Utf8WithBom}) {
        Config(L"[reportType]\r\ngs = 个人所得税\r\nKR=\"한국어\"\r\n", encoding);
        auto c = Scan();
        ASSERT_EQ(2u, c->ReportFiles().size());
        EXPECT_EQ(L"个人所得税", Entry(*c, L"GS")->ReportTypeName());
        EXPECT_EQ(L"한국어", Entry(*c, L"KR")->ReportTypeName());
    }
    // Plain ASCII stays with the platform's reading, with the same result.
    Config(L"[REPORTTYPE]\r\nGS=Income\r\n", IniEncoding::Utf8);
    EXPECT_EQ(L"Income", Entry(*Scan(), L"GS")->ReportTypeName());
}

TEST_F(ReportCatalogue, SectionAndKeyMatchWithoutRegardToCase) {
    Config(L"[other]\r\nAbc=别的\r\n[REPORTTYPE]\r\nabc=小写键\r\n");
    File(L"ABC\\a.dat");
    auto c = Scan();
    ASSERT_NE(nullptr, Entry(*c, L"ABC"));
    EXPECT_EQ(L"小写键", Entry(*c, L"ABC")->ReportTypeName());
    EXPECT_EQ(L"ABC", Entry(*c, L"ABC")->ReportCode());  // as the listing spells it
}

TEST_F(ReportCatalogue, MissingConfigBehavesLikeAnEmptyOne) {
    File(L"A\\a.dat");
    auto c = Scan();
    EXPECT_TRUE(c->ReportFiles().empty());
    Config(L"");
    EXPECT_TRUE(Scan()->ReportFiles().empty());
    Config(L"[otherSection]\r\nA=甲\r\n");
    EXPECT_TRUE(Scan()->ReportFiles().empty());
}

TEST_F(ReportCatalogue, VeryLongDisplayNameIsReadWhole) {
    std::wstring name;
    for (int i = 0; i < 600; ++i) name += L"长";
    Config(L"[reportType]\r\nL=" + name + L"\r\n", IniEncoding::Utf16WithBom);
    File(L"L\\a.dat");
    auto c = Scan();
    ASSERT_NE(nullptr, Entry(*c, L"L"));
    EXPECT_EQ(name, Entry(*c, L"L")->ReportTypeName());
}

TEST(ReportCatalogueReference, ReleaseClearsTheReference) {
    ReportContainer = std::make_unique<TReportContainer>(L"x:\\none\\", L"");
    ReleaseReportCatalogue();
    EXPECT_EQ(nullptr, ReportContainer);
    ReleaseReportCatalogue();  // nothing held: nothing happens
    EXPECT_EQ(nullptr, ReportContainer);
}

TEST(ReportCatalogueDefaults, ProgramRootAndConfigBesideTheExecutable) {
    TReportContainer c;
    EXPECT_EQ(L"c:\\VORTAN_NSSB\\", c.DataRoot());
    EXPECT_EQ(win::ExeDir() + L"config.ini", c.ConfigPath());
}

TEST(ReportFileSystemPath, PrefixesOnlyPathsThatMeanTheSame) {
    EXPECT_EQ(L"\\\\?\\c:\\VORTAN_NSSB\\A\\r.dat", FileSystemPath(L"c:\\VORTAN_NSSB\\A\\r.dat"));
    EXPECT_EQ(L"\\\\?\\UNC\\srv\\share\\a", FileSystemPath(L"\\\\srv\\share\\a"));
    EXPECT_EQ(L"c:\\a\\..\\b", FileSystemPath(L"c:\\a\\..\\b"));
    EXPECT_EQ(L"c:/a/b", FileSystemPath(L"c:/a/b"));
    EXPECT_EQ(L"relative\\a", FileSystemPath(L"relative\\a"));
    EXPECT_EQ(L"\\\\?\\c:\\a\\.hidden", FileSystemPath(L"c:\\a\\.hidden"));
    EXPECT_EQ(L"\\\\?\\c:\\x", FileSystemPath(L"\\\\?\\c:\\x"));
}
