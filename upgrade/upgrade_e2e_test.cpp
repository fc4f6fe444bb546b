// A real upgrade as it happens on a user's machine: a small program of
// version 1, in a directory whose name has blanks, checks the test server,
// downloads version 2 of itself, writes the self-upgrade program from its
// resource to the temporary directory, starts it and exits; the self-upgrade
// program puts the new file in place and starts the program again.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "net/testing/test_server.h"
#include "upgrade/aupublish/publish_test_support.h"
#include "testing/uiprobe.h"
#include "win/handles.h"
#include "win/strings.h"
#include "win/version.h"

namespace au::testing {
namespace {

using namespace std::chrono_literals;

void WriteText(const std::wstring& path, const std::string& text) {
    win::UniqueHFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> Matching(const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    win::UniqueFindHandle find(::FindFirstFileW(pattern.c_str(), &found));
    if (!find) return names;
    do names.emplace_back(found.cFileName);
    while (::FindNextFileW(find.get(), &found));
    return names;
}

bool ProcessRunning(const std::wstring& exeName) {
    win::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0) return true;
    return false;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        uiprobe::Pause(100ms);
    }
    return true;
}

class AuUpgradeEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        tempDir = temp;
        if (tempDir.back() != L'\\') tempDir += L'\\';
        selfUpgrade = tempDir + L"Virorova3.exe";
        dir = tempDir + L"up grade  host " + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr));
        program = dir + L"UpgradeHost.exe";
        ASSERT_TRUE(::CopyFileW((win::ExeDir() + L"upgrade_host_v1.exe").c_str(), program.c_str(), FALSE));
    }

    void TearDown() override {
        for (const auto& name : Matching(dir + L"*")) {
            const std::wstring path = dir + name;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(path.c_str());
        }
        ::RemoveDirectoryW(dir.c_str());
    }

    void Configure(const std::wstring& infoUrl, bool check, const std::string& publicKey = "") {
        WriteText(dir + L"upgrade_host.ini", "[upgrade]\r\nInfoFileURL=" + win::ToUtf8(infoUrl) +
                                                 "\r\ncheck=" + (check ? "1" : "0") + "\r\nPublicKey=" +
                                                 publicKey + "\r\n");
    }

    std::string Log() const { return ReadFileBytes(dir + L"host.log"); }

    std::wstring tempDir, selfUpgrade, dir, program;
};

TEST_F(AuUpgradeEndToEnd, VersionOneReplacesItselfWithVersionTwoAndStartsAgain) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring tag = NewTag();
    const std::string v2 = UnixPath(win::ExeDir() + L"upgrade_host_v2.exe");
    ASSERT_FALSE(v2.empty());
    const std::wstring fileUrl = TestUrl(tag, L"UpgradeHost.exe", L"file=" + QueryEscape(v2));
    const std::string info = "; the update of the test host\r\n#version=2\r\n#message={Version 2}\r\n#url=" +
                             win::ToUtf8(fileUrl) + "\r\n";
    Configure(TestUrl(tag, L"info.txt", L"type=text/plain&body=" + QueryEscape(info)), true);
    ASSERT_EQ(win::ReadVersionInfo(program).major, 1);

    {
        uiprobe::Program host(program, L"", dir);
        ASSERT_TRUE(host.WaitExit(60s)) << "version 1 did not close for the upgrade\n" << Log();
    }
    // The self-upgrade program waits for it, moves the file and starts the
    // new version, which notes the restart and closes.
    ASSERT_TRUE(WaitUntil([&] { return Log().find("Closed|2") != std::string::npos; }, 60s)) << Log();
    ASSERT_TRUE(WaitUntil([] { return !ProcessRunning(L"Virorova3.exe"); }, 30s));

    const std::string log = Log();
    EXPECT_NE(log.find("Started|1||"), std::string::npos) << log;
    EXPECT_NE(log.find("EndUpgrade|1"), std::string::npos) << log;
    EXPECT_NE(log.find("Started|2|/afterupgrade0|"), std::string::npos) << "the restart argument\n" << log;
    EXPECT_NE(log.find("AfterRestart|2|/afterupgrade0"), std::string::npos) << "OnAfterRestart fired\n" << log;
    EXPECT_EQ(win::ReadVersionInfo(program).major, 2) << "the file on disk is version 2";
    EXPECT_TRUE(Matching(dir + L"*.uTMP").empty()) << "no download is left";
    EXPECT_EQ(RequestCount(tag), 2) << "the information file and the program";

    // A copy of the self-upgrade program left in the temporary directory is
    // removed by the next start of the program.
    if (!Exists(selfUpgrade)) WriteText(selfUpgrade, "left over");
    Configure(L"http://", false);
    {
        uiprobe::Program host(program, L"", dir);
        ASSERT_TRUE(host.WaitExit(30s));
    }
    EXPECT_NE(Log().find("Started|2||none"), std::string::npos) << Log();
    EXPECT_FALSE(Exists(selfUpgrade));
}

TEST_F(AuUpgradeEndToEnd, NoNewerVersionLeavesTheProgramAlone) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring tag = NewTag();
    Configure(TestUrl(tag, L"info.txt", L"body=" + QueryEscape("#version=1\r\n#url=http://127.0.0.1/x.exe\r\n")),
              true);
    {
        uiprobe::Program host(program, L"", dir);
        ASSERT_TRUE(host.WaitExit(30s));
    }
    EXPECT_NE(Log().find("NoUpdateAvailable|1"), std::string::npos) << Log();
    EXPECT_EQ(win::ReadVersionInfo(program).major, 1);
    EXPECT_EQ(RequestCount(tag), 1);
}

// The maker's release steps with the publisher's tool, then the program
// carrying the key: a release whose address serves other bytes than were
// signed is refused and leaves version 1 in place; the signed one upgrades.
TEST_F(AuUpgradeEndToEnd, SignedReleaseUpgradesAndOneServingOtherBytesIsRefused) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring key = dir + L"publisher.key";
    const Outcome made = Publish({L"keygen", key});
    ASSERT_EQ(made.status, 0u) << made.err;
    std::string publicKey = made.out;
    while (!publicKey.empty() && (publicKey.back() == '\n' || publicKey.back() == '\r')) publicKey.pop_back();

    const std::wstring tag = NewTag();
    const std::wstring v1 = win::ExeDir() + L"upgrade_host_v1.exe", v2 = win::ExeDir() + L"upgrade_host_v2.exe";
    auto release = [&](const std::wstring& name, const std::wstring& served) {
        const std::wstring info = dir + name + L".txt";
        const std::wstring fileUrl = TestUrl(tag, L"UpgradeHost.exe", L"file=" + QueryEscape(UnixPath(served)));
        WriteText(info, "#version=2\r\n#url=" + win::ToUtf8(fileUrl) + "\r\n");
        const Outcome signing = Publish({L"sign", key, info, L"--file", fileUrl + L"=" + v2});
        EXPECT_EQ(signing.status, 0u) << signing.out << signing.err;
        return TestUrl(tag, name, L"type=text/plain&file=" + QueryEscape(UnixPath(info)));
    };

    Configure(release(L"tampered", v1), true, publicKey);
    {
        uiprobe::Program host(program, L"", dir);
        ASSERT_TRUE(host.WaitExit(60s)) << Log();
    }
    EXPECT_NE(Log().find("VerifyFailed "), std::string::npos) << Log();
    EXPECT_EQ(Log().find("EndUpgrade"), std::string::npos) << Log();
    EXPECT_EQ(win::ReadVersionInfo(program).major, 1);
    EXPECT_TRUE(Matching(dir + L"*.uTMP").empty()) << "the refused download is gone";
    EXPECT_FALSE(ProcessRunning(L"Virorova3.exe"));

    Configure(release(L"signed", v2), true, publicKey);
    {
        uiprobe::Program host(program, L"", dir);
        ASSERT_TRUE(host.WaitExit(60s)) << "version 1 did not close for the upgrade\n" << Log();
    }
    ASSERT_TRUE(WaitUntil([&] { return Log().find("Closed|2") != std::string::npos; }, 60s)) << Log();
    ASSERT_TRUE(WaitUntil([] { return !ProcessRunning(L"Virorova3.exe"); }, 30s));
    EXPECT_NE(Log().find("AfterRestart|2|/afterupgrade0"), std::string::npos) << Log();
    EXPECT_EQ(win::ReadVersionInfo(program).major, 2);
    EXPECT_TRUE(Matching(dir + L"*.uTMP").empty());
}

} // namespace
} // namespace au::testing
