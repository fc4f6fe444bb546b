#include "repair_rules.h"

#include <gtest/gtest.h>

using namespace repair;

TEST(ClassifyHostTest, OnlyTheLastLabelDecides) {
    EXPECT_EQ(ClassifyHost(L"www.example.com"), L"Domain");
    EXPECT_EQ(ClassifyHost(L"a.b.cn"), L"Domain");
    EXPECT_EQ(ClassifyHost(L"10.0.0.255"), L"IP");
    EXPECT_EQ(ClassifyHost(L"10.0.0.256"), L"Domain");
    EXPECT_EQ(ClassifyHost(L"10.0.0.1000"), L"Domain");  // four characters
    EXPECT_EQ(ClassifyHost(L"host.example.0"), L"IP");   // a name ending in a small number counts as address
    EXPECT_EQ(ClassifyHost(L"1.2.3.com"), L"Domain");
    EXPECT_EQ(ClassifyHost(L"a.b.COM"), L"Domain");      // not "com", and not a number either
    EXPECT_EQ(ClassifyHost(L"42"), L"IP");               // no dot: the whole entry is the last label
    EXPECT_EQ(ClassifyHost(L"1.2.3.+1"), L"Domain");
    EXPECT_EQ(ClassifyHost(L"1.2.3.0x1"), L"Domain");
    EXPECT_EQ(ClassifyHost(L"1.2.3."), L"Domain");
    EXPECT_EQ(ClassifyHost(L""), L"Domain");
}

TEST(SiteListTest, SplitKeepsOrderAndEmptyListHasNoEntries) {
    EXPECT_TRUE(SplitSiteList(L"").empty());
    EXPECT_EQ(SplitSiteList(L"a.b.com,1.2.3.4"), (std::vector<std::wstring>{L"a.b.com", L"1.2.3.4"}));
}

TEST(SiteListTest, BuiltInListHasTheRequiredShape) {
    auto entries = SplitSiteList(kTrustedSiteList);
    ASSERT_EQ(entries.size(), 12u);
    const wchar_t* kinds[] = {L"Domain", L"Domain", L"Domain", L"IP", L"Domain", L"Domain",
                              L"IP",     L"IP",     L"IP",     L"Domain", L"Domain", L"Domain"};
    int privateAddresses = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        EXPECT_EQ(ClassifyHost(e), kinds[i]) << e;
        EXPECT_EQ(e.find_first_of(L" \"'"), std::wstring::npos) << e;
        if (ClassifyHost(e) == L"Domain") {
            EXPECT_GE(std::count(e.begin(), e.end(), L'.'), 2) << e;
            EXPECT_TRUE(e.ends_with(L".com") || e.ends_with(L".cn")) << e;
        } else {
            EXPECT_EQ(std::count(e.begin(), e.end(), L'.'), 3) << e;
            if (e.rfind(L"10.", 0) == 0) ++privateAddresses;
        }
    }
    EXPECT_EQ(privateAddresses, 2);
}

TEST(HostSplitTest, LastTwoLabelsAreTheDomain) {
    auto three = SplitHost(L"www.example.com");
    EXPECT_EQ(three.domain, L"example.com");
    EXPECT_EQ(three.host, L"www");
    auto four = SplitHost(L"a.b.example.cn");
    EXPECT_EQ(four.domain, L"example.cn");
    EXPECT_EQ(four.host, L"a.b");
    EXPECT_EQ(DomainKeyPath(four), std::wstring(kDomainsKey) + L"\\example.cn\\a.b");
    auto two = SplitHost(L"example.com");
    EXPECT_EQ(two.domain, L"example.com");
    EXPECT_EQ(two.host, L"");
    EXPECT_EQ(DomainKeyPath(two), std::wstring(kDomainsKey) + L"\\example.com");
}

TEST(HostSplitTest, EntriesThatNameNoKeyOfTheirOwnGetNoKey) {
    // Written as they stand, these would put values on the domain tree
    // itself or on a key nested below another name.
    EXPECT_EQ(DomainKeyPath(SplitHost(L"")), L"");
    EXPECT_EQ(DomainKeyPath(SplitHost(L"C:\\app\\")), L"");
    EXPECT_EQ(DomainKeyPath(SplitHost(L"evil\\www.example.com")), L"");
    EXPECT_EQ(DomainKeyPath(SplitHost(L"www.example.com\\x")), L"");
    EXPECT_EQ(DomainKeyPath(SplitHost(std::wstring(L"a\0b.example.com", 15))), L"");
    EXPECT_EQ(DomainKeyPath(SplitHost(L"a.b.example.cn")), std::wstring(kDomainsKey) + L"\\example.cn\\a.b");
}

TEST(RangeKeyTest, NamedAfterThePositionInTheWholeList) {
    EXPECT_EQ(RangeKeyPath(3), std::wstring(kRangesKey) + L"\\Range993");
    EXPECT_EQ(RangeKeyPath(10), std::wstring(kRangesKey) + L"\\Range9910");
    EXPECT_EQ(TrustedSiteLine(L"1.2.3.4"), L"项:1.2.3.4,加入信任站点");
}

TEST(RegistrationStepsTest, TenCommandsByteForByte) {
    auto steps = RegistrationSteps(L"C:\\windows\\system32", L"C:\\app\\");
    ASSERT_EQ(steps.size(), 10u);
    EXPECT_EQ(steps[0].commandLine, L"cmd.exe /K \"regsvr32.exe /u /s \"C:\\windows\\system32\\YRWXls.dll\"\"");
    EXPECT_EQ(steps[1].commandLine, L"cmd.exe /K \"regsvr32.exe /u /s \"C:\\app\\YRWXls.ocx\"\"");
    EXPECT_EQ(steps[2].commandLine, L"cmd.exe /K \"regsvr32.exe /s  \"C:\\app\\YRWXls.ocx\"\"");
    EXPECT_EQ(steps[3].commandLine, L"cmd.exe /K \"regsvr32.exe /u /s \"C:\\windows\\system32\\CellWeb5.dll\"\"");
    EXPECT_EQ(steps[4].commandLine, L"cmd.exe /K \"regsvr32.exe /u /s \"C:\\app\\CellWeb5.ocx\"\"");
    EXPECT_EQ(steps[5].commandLine, L"cmd.exe /K \"regsvr32.exe /s \"C:\\app\\CellWeb5.ocx\"\"");
    EXPECT_EQ(steps[6].commandLine, L"cmd.exe /K \"regsvr32.exe /u /s \"C:\\windows\\system32\\jscript.dll\"\"");
    EXPECT_EQ(steps[7].commandLine, L"cmd.exe /K \"regsvr32.exe /s \"C:\\windows\\system32\\jscript.dll\"\"");
    EXPECT_EQ(steps[8].commandLine, L"cmd.exe /K \"regsvr32.exe /u /s \"C:\\windows\\system32\\vbscript.dll\"\"");
    EXPECT_EQ(steps[9].commandLine, L"cmd.exe /K \"regsvr32.exe /s \"C:\\windows\\system32\\vbscript.dll\"\"");
    // Prefix lengths: the directory starts right after the second quote.
    EXPECT_EQ(steps[0].commandLine.find(L"C:\\"), 32u);
    EXPECT_EQ(steps[2].commandLine.find(L"C:\\"), 30u);
    EXPECT_EQ(steps[5].commandLine.find(L"C:\\"), 29u);
    std::vector<std::wstring> lines;
    for (auto& s : steps)
        if (!s.lineAfter.empty()) lines.push_back(s.lineAfter);
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"注册YRWXls.ocx完毕", L"注册CellWeb5.ocx完毕", L"注册jscript.dll完毕",
                                                L"注册vbscript.dll完毕"}));
}

TEST(RegistrationStepsTest, DirectoriesGetExactlyOneBackslash) {
    auto without = RegistrationSteps(L"C:\\sys", L"C:\\app");
    auto with = RegistrationSteps(L"C:\\sys\\", L"C:\\app\\");
    for (size_t i = 0; i < with.size(); ++i) EXPECT_EQ(without[i].commandLine, with[i].commandLine);
    EXPECT_EQ(with[0].commandLine.find(L"\\\\"), std::wstring::npos);
}

TEST(ZoneActionsTest, TwelveActionsInOrderWithTheirLines) {
    const wchar_t* names[] = {L"1001", L"1004", L"1200", L"1201", L"1208", L"1400",
                              L"1402", L"1405", L"1607", L"1609", L"2000", L"2201"};
    for (size_t i = 0; i < kZoneActions.size(); ++i) {
        EXPECT_STREQ(kZoneActions[i].valueName, names[i]);
        std::wstring line = kZoneActions[i].logLine;
        EXPECT_EQ(line.rfind(L"启用:", 0), 0u);
        // The first four lines end without a blank, the rest with one.
        EXPECT_EQ(line.back() == L' ', i >= 4) << i;
    }
}
