// The upgrade component against the test server: the check and its
// information file, every way it ends, the questions it asks, and the
// automatic check's timer.
#include "net/shell_helpers.h"
#include "upgrade/upgrade_test_support.h"
#include "win/registry.h"

namespace au::testing {
namespace {

using AuUpgradeCheck = UpgradeTest;

TEST_F(AuUpgradeCheck, SameVersionIsNoUpdateAndAsksNothing) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring file = FileName(L"same");
    ServeInfo("#version=1.0.0.0\r\n#url=" + win::ToUtf8(FileUrl(file, L"size=10")) + "\r\n");
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"NoUpdateAvailable"}));
    EXPECT_TRUE(user->calls.empty()) << "no box unless the settings ask for it";
    EXPECT_EQ(upgrader->RemoteVersionNumber(), L"1.0.0.0");
    EXPECT_FALSE(upgrader->InUpgrade());
    EXPECT_EQ(RequestCount(tag), 1) << "only the information file";
    const std::string request = FetchRequestLog(tag, 0);
    EXPECT_TRUE(LogHasHeader(request, "Pragma", "no-cache")) << "the information file bypasses the cache\n" << request;
}

TEST_F(AuUpgradeCheck, NoUpdateBoxOnlyWhenAskedFor) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetShowMessages({mNoUpdateAvailable});
    ServeInfo("#version=0.9\r\n#url=http://127.0.0.1/x.exe\r\n");
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"NoUpdateAvailable"}));
    EXPECT_EQ(user->calls, (Strings{ShowErrorCall(kTextNoNewerVersion)}));
}

TEST_F(AuUpgradeCheck, NewerVersionWithoutAnyAddressIsNoUpdate) {
    AU_REQUIRE_TEST_SERVER();
    ServeInfo("#version=9\r\n#url1=\r\n#message={nothing to fetch}\r\n");
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"NoUpdateAvailable"}));
    EXPECT_EQ(upgrader->RemoteVersionNumber(), L"9");
    EXPECT_TRUE(upgrader->DownloadQueue().empty());
}

TEST_F(AuUpgradeCheck, ByDateTheComponentsOwnDatePatternIsRead) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetVersionControl(byDate);
    upgrader->SetVersionDate(L"2016-05-26 11:16:38");
    // A release of 2015, written in the component's pattern: older than the
    // local version even on a system whose own date format differs.
    ServeInfo("#date=2015-01-01 00:00:00\r\n#url=http://127.0.0.1/x.exe\r\n");
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"NoUpdateAvailable"}));
}

TEST_F(AuUpgradeCheck, NoInformationFileIsReportedWithItsBoxWhenAskedFor) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetInfoFileURL(FileUrl(L"missing.txt", L"status=404&body=gone"));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"NoInfoFile"}));
    EXPECT_TRUE(user->calls.empty());
    finished = false;
    events.clear();
    upgrader->SetShowMessages({mNoInfoFile});
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"NoInfoFile"}));
    EXPECT_EQ(user->calls, (Strings{ShowErrorCall(kTextNoInfoFile)}));
}

TEST_F(AuUpgradeCheck, UnreachableHostNamesAddressAndHostAndBoxesOnlyWhenAskedFor) {
    const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/info.txt";
    upgrader->SetInfoFileURL(url);
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"HostUnreachable"}));
    EXPECT_EQ(unreachable.url, url);
    EXPECT_EQ(unreachable.host, L"127.0.0.1");
    EXPECT_TRUE(user->calls.empty()) << "mHostUnreachable is not among the defaults";
    finished = false;
    upgrader->SetShowMessages({mHostUnreachable});
    ASSERT_TRUE(Check());
    EXPECT_EQ(user->calls, (Strings{ShowErrorCall(kTextHostUnreachable)}));
    EXPECT_EQ(user->errorArguments, (std::vector<std::wstring>{L"'http://127.0.0.1'"}));
    // An HTTPS address is named as what it is.
    finished = false;
    upgrader->SetInfoFileURL(L"https://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/info.txt");
    ASSERT_TRUE(Check());
    EXPECT_EQ(user->errorArguments.back(), L"'https://127.0.0.1'");
}

TEST_F(AuUpgradeCheck, ConnectionLostDuringTheInformationFile) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetInfoFileURL(FileUrl(L"info.txt", L"size=5000&length=9000"));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"ConnLost"}));
    EXPECT_EQ(user->calls, (Strings{ShowErrorCall(kTextConnectionLost)})) << "mConnLost is a default";
    EXPECT_FALSE(upgrader->InUpgrade());
}

TEST_F(AuUpgradeCheck, CheckWhileBusyOnlyClearsItsFlags) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetInfoFileURL(FileUrl(L"info.txt", L"body=%23version=1&delay=1500"));
    upgrader->CheckUpdate();
    ASSERT_TRUE(upgrader->Busy());
    EXPECT_TRUE(upgrader->InUpgrade());
    upgrader->SetInfoFileURL(L"http://127.0.0.1:1/elsewhere.txt");
    upgrader->CheckUpdate();
    EXPECT_FALSE(upgrader->InUpgrade()) << "cleared, and nothing else";
    EXPECT_TRUE(upgrader->Busy());
    ASSERT_TRUE(PumpUntil([this] { return finished && !upgrader->Busy(); }));
    EXPECT_EQ(events, (Strings{"NoUpdateAvailable"}));
    EXPECT_EQ(RequestCount(tag), 1);
}

TEST_F(AuUpgradeCheck, BeginUpgradeGetsMessageMethodAndFilesAndMayDecline) {
    AU_REQUIRE_TEST_SERVER();
    allowUpgrade = false;
    ServeInfo("#version=2\r\n#method=1\r\n#message={Fixes:\r\n- one}\r\n#url=http://h/setup.exe\r\n"
              "#url0=http://h/data.dat\r\n");
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "LaterUpgrade"}));
    EXPECT_EQ(begin.message, L"Fixes:\r\n- one");
    EXPECT_EQ(begin.method, umUseExternalSetup);
    EXPECT_EQ(begin.files, (std::vector<std::wstring>{L"http://h/setup.exe", L"http://h/data.dat"}));
    EXPECT_TRUE(user->calls.empty()) << "declined before the user is asked";
    EXPECT_EQ(RequestCount(tag), 1);
}

TEST_F(AuUpgradeCheck, UserIsAskedWithTitleVersionsAndMessageAndMayAnswerLater) {
    AU_REQUIRE_TEST_SERVER();
    user->acceptUpgrade = false;
    ServeInfo("#version=1.1\r\n#message={Line 1\r\nLine 2}\r\n#url=http://h/q.exe\r\n");
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "LaterUpgrade"}));
    EXPECT_EQ(user->calls, (Strings{"AskUpgrade"}));
    EXPECT_EQ(user->asked.title, L"Quillet tests");
    EXPECT_EQ(user->asked.local, L"1");
    EXPECT_EQ(user->asked.remote, L"1.1");
    EXPECT_EQ(user->asked.message, L"Line 1\r\nLine 2");
    EXPECT_FALSE(upgrader->InUpgrade());
    EXPECT_FALSE(upgrader->HasUpgraded());
}

TEST_F(AuUpgradeCheck, ForcedUpdateIsNotAskedAbout) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring file = FileName(L"forced");
    ServeInfo("#version=2\r\n#forceupgrade=true\r\n#url=" + win::ToUtf8(FileUrl(file, L"size=100")) + "\r\n");
    ASSERT_TRUE(Check());
    EXPECT_TRUE(upgrader->ForceUpgrade());
    EXPECT_EQ(user->calls, Strings{}) << "mAskUpgrade is set, and yet no question";
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "Progress", "FileDone", "EndUpgrade", "Aborted"}));
}

TEST_F(AuUpgradeCheck, RedirectOpensTheFirstAddressInTheBrowserAndDownloadsNothing) {
    AU_REQUIRE_TEST_SERVER();
    // The browser is whatever program opens .html pages; for this test it
    // is a recorder of its command line.
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = std::wstring(temp) + L"upg-browser-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring recorder = dir + L"browser.exe";
    ASSERT_TRUE(::CopyFileW((win::ExeDir() + L"arg_recorder.exe").c_str(), recorder.c_str(), FALSE));
    win::Registry classes(HKEY_CLASSES_ROOT, KEY_READ | KEY_WRITE);
    ASSERT_TRUE(classes.TryOpenKey(L".html", false));
    const std::wstring type = classes.ReadString(L"");
    ASSERT_FALSE(type.empty());
    win::Registry command(HKEY_CLASSES_ROOT, KEY_READ | KEY_WRITE);
    ASSERT_TRUE(command.TryOpenKey(type + L"\\shell\\open\\command", true));
    const auto previous = command.TryReadString(L"");
    command.WriteString(L"", L"\"" + recorder + L"\" \"%1\"");
    win::ScopeExit restore([&] {
        if (previous) command.WriteString(L"", *previous);
        ::DeleteFileW(recorder.c_str());
        ::DeleteFileW((dir + L"starts.log").c_str());
        ::RemoveDirectoryW(dir.c_str());
    });

    const std::wstring page = FileUrl(L"download.html", L"body=page");
    ServeInfo("#version=3\r\n#method=2\r\n#url=" + win::ToUtf8(page) + "\r\n#url0=" +
              win::ToUtf8(FileUrl(L"other.exe", L"size=10")) + "\r\n");
    upgrader->CheckUpdate();
    ASSERT_TRUE(PumpUntil([&] { return FileExists(dir + L"starts.log"); }, 30000)) << "no browser was started";
    PumpFor(500);
    EXPECT_EQ(events, (Strings{"BeginUpgrade"}));
    EXPECT_EQ(user->calls, (Strings{"AskUpgrade"}));
    EXPECT_NE(FileBytes(dir + L"starts.log").find(win::ToUtf8(page)), std::string::npos)
        << FileBytes(dir + L"starts.log");
    EXPECT_EQ(RequestCount(tag), 1) << "nothing is downloaded";
    EXPECT_FALSE(upgrader->HasUpgraded());
    EXPECT_FALSE(upgrader->Busy());
}

TEST_F(AuUpgradeCheck, HugeBinaryAndUnterminatedInformationFilesAreReadSafely) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetInfoFileURL(FileUrl(L"info.bin", L"size=6000000"));
    ASSERT_TRUE(Check(60000));
    EXPECT_EQ(events, (Strings{"NoUpdateAvailable"})) << "six megabytes of binary hold no entry";

    finished = false;
    events.clear();
    allowUpgrade = false;
    ServeInfoFromFile("#version=5\r\n#url=http://h/a.exe\r\n#message={" + std::string(3000000, 'x'));
    ASSERT_TRUE(Check(60000));
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "LaterUpgrade"}));
    EXPECT_EQ(begin.message.size(), 3000000u) << "without a brace the message runs to the end";
}

// The automatic check. The machine counts as online when the remote-access
// service says so; the tests say so in the prefix's registry for their run.
class AuUpgradeAutoCheck : public UpgradeTest {
protected:
    static constexpr wchar_t kRemoteAccess[] = L"System\\CurrentControlSet\\Services\\RemoteAccess";
    void SetUp() override {
        UpgradeTest::SetUp();
        win::Registry key(HKEY_LOCAL_MACHINE, KEY_READ | KEY_WRITE);
        ASSERT_TRUE(key.TryOpenKey(kRemoteAccess, true));
        previous = key.TryReadDword(L"Remote Connection");
        key.WriteDword(L"Remote Connection", 1);
        ASSERT_TRUE(IsOnline());
    }
    void TearDown() override {
        UpgradeTest::TearDown();
        win::Registry key(HKEY_LOCAL_MACHINE, KEY_READ | KEY_WRITE);
        if (!key.TryOpenKey(kRemoteAccess, false)) return;
        if (previous) key.WriteDword(L"Remote Connection", *previous);
        else ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRemoteAccess, L"Remote Connection");
    }
    std::optional<DWORD> previous;
    // Whether the check timer is armed; finding out disarms it.
    bool TimerArmed() { return ::KillTimer(upgrader->Handle(), kCheckTimerId) != FALSE; }
    void Tick() { ::PostMessageW(upgrader->Handle(), WM_TIMER, kCheckTimerId, 0); }
};

TEST_F(AuUpgradeAutoCheck, TimerStartsTheCheckTenSecondsAfterAutoCheckIsSwitchedOn) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetShowMessages({mNoUpdateAvailable});
    ServeInfo("#version=1\r\n");
    const DWORD start = ::GetTickCount();
    upgrader->SetAutoCheck(true);
    ASSERT_TRUE(PumpUntil([this] { return RequestCount(tag) == 1; }, 20000));
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_GE(elapsed, 9500u);
    EXPECT_LT(elapsed, 15000u);
    ASSERT_TRUE(PumpUntil([this] { return finished && !upgrader->Busy(); }));
    EXPECT_EQ(events, (Strings{"NoUpdateAvailable"}));
    EXPECT_TRUE(user->calls.empty()) << "an automatic check shows no no-update box";
    EXPECT_FALSE(TimerArmed()) << "one automatic check is enough";
}

TEST_F(AuUpgradeAutoCheck, SwitchingAutoCheckOffStopsTheTimer) {
    upgrader->SetAutoCheck(true);
    upgrader->SetAutoCheck(false);
    EXPECT_FALSE(TimerArmed());
    upgrader->SetAutoCheck(true);
    EXPECT_TRUE(TimerArmed());
}

TEST_F(AuUpgradeAutoCheck, UnreachableHostIsTriedAgainWithoutABox) {
    upgrader->SetShowMessages({mHostUnreachable});
    upgrader->SetInfoFileURL(L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/info.txt");
    upgrader->SetAutoCheck(true);
    Tick();
    ASSERT_TRUE(PumpUntil([this] { return finished && !upgrader->Busy(); }));
    EXPECT_EQ(events, (Strings{"HostUnreachable"}));
    EXPECT_TRUE(user->calls.empty());
    EXPECT_TRUE(TimerArmed()) << "armed again for the next attempt";

    finished = false;
    Tick();
    ASSERT_TRUE(PumpUntil([this] { return finished && !upgrader->Busy(); }));
    EXPECT_EQ(events, (Strings{"HostUnreachable", "HostUnreachable"}));
    EXPECT_TRUE(user->calls.empty());
}

TEST_F(AuUpgradeAutoCheck, TimerDoesNothingWhileAutoCheckIsOff) {
    AU_REQUIRE_TEST_SERVER();
    ServeInfo("#version=1\r\n");
    Tick();
    PumpFor(1000);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(RequestCount(tag), 0);
}

} // namespace
} // namespace au::testing
