#include "uPublic.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "log/log4me.h"
#include "log/log4me_environment.h"
#include "repair_rules.h"
#include "win/error.h"
#include "win/registry.h"
#include "win/strings.h"

namespace {

struct VectorLines : TLogLines {
    std::vector<std::wstring> lines;
    void Add(const std::wstring& line) override { lines.push_back(line); }
};

// Counts (and optionally refuses) registry writes, so a test can tell which
// values an operation touched.
struct WriteRecorder : win::Registry::WriteGate {
    std::vector<std::wstring> written;
    int refuseAt = -1;  // 0-based index of the write to refuse
    LONG Check(const std::wstring& name) override {
        if (static_cast<int>(written.size()) == refuseAt) return ERROR_ACCESS_DENIED;
        written.push_back(name);
        return ERROR_SUCCESS;
    }

private:
    win::Registry::ScopedWriteGate gate_{*this};
};

DWORD TypeOf(HKEY root, const std::wstring& key, const std::wstring& name) {
    DWORD type = REG_NONE;
    if (::RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, nullptr) !=
        ERROR_SUCCESS)
        return REG_NONE;
    return type;
}

DWORD DwordOf(const std::wstring& key, const std::wstring& name) {
    DWORD v = 0xDEADBEEF, size = sizeof(v);
    ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &v, &size);
    return v;
}

std::wstring StringOf(HKEY root, const std::wstring& key, const std::wstring& name) {
    wchar_t buf[1024] = {};
    DWORD size = sizeof(buf);
    if (::RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return buf;
}

void SetValue(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), type, data, size), ERROR_SUCCESS);
}

std::wstring TempDir(const wchar_t* name) {
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    std::wstring dir = std::wstring(tmp) + name + L"\\";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The logger's directory moved to a private one; the platform's clock stays.
struct TempDirEnvironment : log4me::Environment {
    explicit TempDirEnvironment(std::wstring d) : dir(std::move(d)) {}
    log4me::Stamp Now() override { return log4me::PlatformEnvironment().Now(); }
    std::wstring BaseDir() override { return dir; }
    std::wstring dir;
};

// A logger writing error lines into a private directory for the duration of a test.
class ErrorLogInTemp {
public:
    ErrorLogInTemp() : dir_(TempDir(L"quillet_repair_log")), env_(dir_), scoped_(env_) {
        std::ofstream(std::filesystem::path(dir_ + L"log4me.ini")) << "[log4me]\r\npath=logs\r\nlevel=error\r\n";
        std::filesystem::create_directories(dir_ + L"logs");
        Log4meStartup();
    }
    ~ErrorLogInTemp() { Log4meShutdown(); }
    std::string TodaysLog() const {
        SYSTEMTIME t;
        ::GetLocalTime(&t);
        wchar_t name[32];
        swprintf(name, 32, L"%04u-%02u-%02u.log", t.wYear, t.wMonth, t.wDay);
        return ReadFileBytes(dir_ + L"logs\\" + name);
    }

private:
    std::wstring dir_;
    TempDirEnvironment env_;
    log4me::ScopedEnvironment scoped_;
};

class ZoneSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, repair::kZoneKey); }
};

TEST_F(ZoneSettingsTest, MissingKeyIsCreatedWithAllTwelveValues) {
    VectorLines logs;
    EXPECT_TRUE(EnableTrustedZoneActiveX(logs));
    ASSERT_EQ(logs.lines.size(), 12u);
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(logs.lines[i], repair::kZoneActions[i].logLine);
        EXPECT_EQ(TypeOf(HKEY_CURRENT_USER, repair::kZoneKey, repair::kZoneActions[i].valueName), DWORD(REG_DWORD));
        EXPECT_EQ(DwordOf(repair::kZoneKey, repair::kZoneActions[i].valueName), 0u);
    }
}

TEST_F(ZoneSettingsTest, WrongValuesAreReplacedRightOnesAndOthersLeftAlone) {
    DWORD three = 3, zero = 0, other = 5;
    unsigned long long wideZero = 0;
    SetValue(repair::kZoneKey, L"1001", REG_DWORD, &three, sizeof(three));
    SetValue(repair::kZoneKey, L"1004", REG_SZ, L"0", 2 * sizeof(wchar_t));
    SetValue(repair::kZoneKey, L"1201", REG_DWORD, &wideZero, sizeof(wideZero));  // a DWORD of the wrong size
    SetValue(repair::kZoneKey, L"1200", REG_DWORD, &zero, sizeof(zero));
    SetValue(repair::kZoneKey, L"1A00", REG_DWORD, &other, sizeof(other));
    VectorLines logs;
    WriteRecorder writes;
    EXPECT_TRUE(EnableTrustedZoneActiveX(logs));
    EXPECT_EQ(logs.lines.size(), 12u);
    // Everything but the one value already right was written.
    EXPECT_EQ(writes.written.size(), 11u);
    EXPECT_EQ(std::count(writes.written.begin(), writes.written.end(), L"1200"), 0);
    for (const auto& a : repair::kZoneActions) {
        EXPECT_EQ(TypeOf(HKEY_CURRENT_USER, repair::kZoneKey, a.valueName), DWORD(REG_DWORD)) << a.valueName;
        EXPECT_EQ(DwordOf(repair::kZoneKey, a.valueName), 0u) << a.valueName;
    }
    EXPECT_EQ(DwordOf(repair::kZoneKey, L"1A00"), 5u);

    // A second run finds everything right and writes nothing, same lines.
    VectorLines again;
    writes.written.clear();
    EXPECT_TRUE(EnableTrustedZoneActiveX(again));
    EXPECT_TRUE(writes.written.empty());
    EXPECT_EQ(again.lines, logs.lines);
}

TEST_F(ZoneSettingsTest, RefusedFifthWriteStopsWithTheFailureTextAndLogsTheCause) {
    ErrorLogInTemp log;
    VectorLines logs;
    WriteRecorder writes;
    writes.refuseAt = 4;
    try {
        EnableTrustedZoneActiveX(logs);
        FAIL() << "no error raised";
    } catch (const win::Error& e) {
        EXPECT_EQ(e.Message(), repair::kRegistryFailure);
    }
    EXPECT_EQ(logs.lines.size(), 4u);
    EXPECT_EQ(DwordOf(repair::kZoneKey, L"1201"), 0u);
    EXPECT_EQ(TypeOf(HKEY_CURRENT_USER, repair::kZoneKey, L"1208"), DWORD(REG_NONE));
    std::string text = log.TodaysLog();
    std::string expected = "[error]" + win::ToAnsi(repair::kRegistryFailure) + "Failed to set data for '1208'";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
    EXPECT_EQ(text.find("[info ]"), std::string::npos);  // level error filters the start line
}

class TrustedSitesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, repair::kDomainsKey);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, repair::kRangesKey);
    }
};

TEST_F(TrustedSitesTest, BuiltInListWritesDomainAndRangeKeys) {
    VectorLines logs;
    EXPECT_TRUE(AddTrustedSites(logs, repair::kTrustedSiteList));
    auto entries = repair::SplitSiteList(repair::kTrustedSiteList);
    ASSERT_EQ(logs.lines.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(logs.lines[i], L"项:" + entries[i] + L",加入信任站点");
        std::wstring key = ClassifyHost(entries[i]) == L"IP" ? repair::RangeKeyPath(static_cast<int>(i))
                                                              : repair::DomainKeyPath(repair::SplitHost(entries[i]));
        EXPECT_EQ(DwordOf(key, L"http"), 2u) << key;
        EXPECT_EQ(DwordOf(key, L"https"), 2u) << key;
    }
    for (int pos : {3, 6, 7, 8}) {
        std::wstring key = std::wstring(repair::kRangesKey) + L"\\Range99" + std::to_wstring(pos);
        EXPECT_EQ(StringOf(HKEY_CURRENT_USER, key, L":Range"), entries[pos]);
    }
    // "nssb.tax.vortan.cn" has four labels: its host key is "nssb.tax".
    EXPECT_EQ(DwordOf(std::wstring(repair::kDomainsKey) + L"\\vortan.cn\\nssb.tax", L"https"), 2u);

    VectorLines again;
    WriteRecorder writes;
    EXPECT_TRUE(AddTrustedSites(again, repair::kTrustedSiteList));
    EXPECT_TRUE(writes.written.empty());
    EXPECT_EQ(again.lines, logs.lines);
}

TEST_F(TrustedSitesTest, StaleAddressesAndWrongTypesAreReplaced) {
    std::wstring range = repair::RangeKeyPath(1);
    SetValue(range, L":Range", REG_SZ, L"9.9.9.9", 8 * sizeof(wchar_t));
    SetValue(range, L"http", REG_SZ, L"2", 2 * sizeof(wchar_t));
    DWORD four = 4;
    SetValue(range, L"https", REG_DWORD, &four, sizeof(four));
    std::wstring domain = std::wstring(repair::kDomainsKey) + L"\\example.com\\www";
    SetValue(domain, L"http", REG_BINARY, "\x02\x00", 2);
    SetValue(domain, L"ftp", REG_DWORD, &four, sizeof(four));
    VectorLines logs;
    EXPECT_TRUE(AddTrustedSites(logs, L"www.example.com,10.0.0.1"));
    EXPECT_EQ(StringOf(HKEY_CURRENT_USER, range, L":Range"), L"10.0.0.1");
    EXPECT_EQ(DwordOf(range, L"http"), 2u);
    EXPECT_EQ(DwordOf(range, L"https"), 2u);
    EXPECT_EQ(DwordOf(domain, L"http"), 2u);
    EXPECT_EQ(DwordOf(domain, L"ftp"), 4u);
}

TEST_F(TrustedSitesTest, EmptyListAddsNothing) {
    VectorLines logs;
    EXPECT_TRUE(AddTrustedSites(logs, L""));
    EXPECT_TRUE(logs.lines.empty());
}

TEST_F(TrustedSitesTest, RefusedWriteStopsTheLoopAtThatEntry) {
    ErrorLogInTemp log;
    VectorLines logs;
    WriteRecorder writes;
    writes.refuseAt = 6;  // three host names take two writes each; the address's ":Range" is refused
    EXPECT_THROW(AddTrustedSites(logs, repair::kTrustedSiteList), win::Error);
    ASSERT_EQ(logs.lines.size(), 3u);
    EXPECT_EQ(TypeOf(HKEY_CURRENT_USER, repair::RangeKeyPath(3), L":Range"), DWORD(REG_NONE));
    EXPECT_NE(log.TodaysLog().find("Failed to set data for ':Range'"), std::string::npos);
}

std::wstring HelperPath() { return win::ExeDir() + L"child_helper.exe"; }

TEST(RunCommandHiddenTest, CommandInterpreterWithKEndsBecauseItsInputIsAtEnd) {
    auto start = std::chrono::steady_clock::now();
    RunCommandHidden(L"cmd.exe /K \"echo hello\"", std::chrono::seconds(60));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(RunCommandHiddenTest, ChattyChildDoesNotBlock) {
    auto start = std::chrono::steady_clock::now();
    RunCommandHidden(L"\"" + HelperPath() + L"\" chatty 4000000", std::chrono::seconds(60));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(RunCommandHiddenTest, ChildReadingItsInputSeesEndOfFile) {
    auto start = std::chrono::steady_clock::now();
    RunCommandHidden(L"\"" + HelperPath() + L"\" drain", std::chrono::seconds(60));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(RunCommandHiddenTest, HangingChildIsEndedAtTheLimit) {
    auto start = std::chrono::steady_clock::now();
    RunCommandHidden(L"\"" + HelperPath() + L"\" hang", std::chrono::milliseconds(1500));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1400));
    EXPECT_LT(took, std::chrono::seconds(15));
}

TEST(RunCommandHiddenTest, MissingProgramRaisesThePlatformMessage) {
    try {
        RunCommandHidden(L"no_such_program_q1.exe");
        FAIL() << "no error raised";
    } catch (const win::Error& e) {
        EXPECT_EQ(e.Message(), win::SystemMessage(ERROR_FILE_NOT_FOUND));
    }
}

TEST(RegisterControlsTest, RegistersTheStandInAndSucceedsAtTheFirstCheck) {
    VectorLines logs;
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(RegisterControls(logs));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(logs.lines, (std::vector<std::wstring>{L"注册YRWXls.ocx完毕", L"注册CellWeb5.ocx完毕", L"注册jscript.dll完毕",
                                                     L"注册vbscript.dll完毕", L"恭喜您所需控件注册成功！"}));
    EXPECT_EQ(StringOf(HKEY_CLASSES_ROOT, repair::kControlCheckKey, L""), win::ExeDir() + L"YRWXls.ocx");
    EXPECT_TRUE(IsControlRegistered());
    EXPECT_LT(took, std::chrono::seconds(20));  // no one-second pauses
}

TEST(RegisterControlsTest, CheckFollowsTheServerFileNamedInTheRegistry) {
    win::Registry reg(HKEY_CLASSES_ROOT, KEY_ALL_ACCESS);
    ASSERT_TRUE(reg.TryOpenKey(repair::kControlCheckKey, true));
    std::wstring saved = reg.ReadString(L"");
    reg.WriteString(L"", L"C:\\nowhere\\YRWXls.ocx");
    EXPECT_FALSE(IsControlRegistered());
    reg.WriteString(L"", win::ExeDir());  // a directory is not a server file
    EXPECT_FALSE(IsControlRegistered());
    reg.WriteString(L"", win::ExeDir() + L"YRWXls.ocx");
    EXPECT_TRUE(IsControlRegistered());
    reg.WriteString(L"", saved);
}

} // namespace
