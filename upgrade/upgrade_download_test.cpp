// The download stage against the test server: several files, the events
// and percentages of each, the size rule, file times, skipped and lost
// files, protected files, the wizard's part, and addresses and servers that
// are not what they should be.
#include <cstdio>

#include "net/file_helpers.h"
#include "net/text.h"
#include "upgrade/upgrade_test_support.h"

namespace au::testing {
namespace {

using AuUpgradeDownload = UpgradeTest;
using Names = std::vector<std::wstring>;

// An information file offering version 2 with these files, numbered from
// url1 on (without the unnumbered entries the numbering starts at 1).
std::string InfoWith(const std::vector<std::wstring>& urls) {
    std::string text = "#version=2\r\n";
    for (size_t i = 0; i < urls.size(); ++i)
        text += "#url" + std::to_string(i + 1) + "=" + win::ToUtf8(urls[i]) + "\r\n";
    return text;
}

// The user's OK on the finished wizard, pressed a while later.
ScriptedDialogs* g_waitingUser = nullptr;
void CALLBACK PressOk(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    if (g_waitingUser) g_waitingUser->wizardShowing = false;
}

TEST_F(AuUpgradeDownload, SeveralFilesArriveBesideTheProgramUnderTemporaryNames) {
    AU_REQUIRE_TEST_SERVER();
    const Names names{FileName(L"a"), FileName(L"b", L".dll"), FileName(L"c", L".dat")};
    const Names urls{FileUrl(names[0], L"size=30000"), FileUrl(names[1], L"size=5000"),
                     FileUrl(names[2], L"size=70000")};
    ServeInfo(InfoWith(urls));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "Progress", "FileDone", "FileStart", "Progress",
                               "FileDone", "FileStart", "Progress", "FileDone", "EndUpgrade", "Aborted"}));
    EXPECT_EQ(user->calls, (Strings{"AskUpgrade"}));
    const size_t sizes[] = {30000, 5000, 70000};
    ASSERT_EQ(fileStarts.size(), 3u);
    ASSERT_EQ(filesDone.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(fileStarts[i].url, urls[i]);
        EXPECT_EQ(fileStarts[i].size, sizes[i]);
        EXPECT_TRUE(fileStarts[i].go);
        EXPECT_EQ(filesDone[i], Downloaded(names[i]));
        EXPECT_EQ(FileBytes(Downloaded(names[i])), PatternBytes(0, sizes[i])) << i;
        EXPECT_TRUE(::GetFileAttributesW(Downloaded(names[i]).c_str()) & FILE_ATTRIBUTE_HIDDEN)
            << "a download stays hidden until it is put in place";
        EXPECT_FALSE(FileExists(win::ExeDir() + names[i])) << "nothing is put in place before the restart";
    }
    EXPECT_TRUE(upgrader->HasUpgraded());
    EXPECT_EQ(RequestCount(tag), 4);
}

TEST_F(AuUpgradeDownload, TotalPercentRisesThroughTheFilesToAHundred) {
    AU_REQUIRE_TEST_SERVER();
    const Names names{FileName(L"p1"), FileName(L"p2")};
    ServeInfo(InfoWith({FileUrl(names[0], L"size=40000"), FileUrl(names[1], L"size=40000")}));
    ASSERT_TRUE(Check());
    ASSERT_FALSE(totals.empty());
    for (size_t i = 1; i < totals.size(); ++i) EXPECT_GE(totals[i], totals[i - 1]) << i;
    EXPECT_EQ(totals.back(), 100);
    // The first file counts half: done, it stands at fifty.
    EXPECT_NE(std::find(totals.begin(), totals.end(), 50), totals.end());
    EXPECT_EQ(*std::max_element(totals.begin(), totals.begin() + totals.size() / 2), 50);
}

TEST_F(AuUpgradeDownload, LastModifiedBecomesTheFilesTime) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring name = FileName(L"dated");
    ServeInfo(InfoWith({FileUrl(name, L"size=100&lastmodified=Wed,%2001%20Jun%202016%2010:20:30%20GMT")}));
    ASSERT_TRUE(Check());
    ASSERT_EQ(fileStarts.size(), 1u);
    EXPECT_NE(fileStarts[0].time, 0);
    win::UniqueHFile file(::CreateFileW(Downloaded(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    FILETIME created, modified;
    ASSERT_TRUE(::GetFileTime(file.get(), &created, nullptr, &modified));
    SYSTEMTIME t;
    ASSERT_TRUE(::FileTimeToSystemTime(&modified, &t));
    // 10:20:30 GMT is 18:20:30 in the suite's zone (UTC+8), kept as it stands.
    EXPECT_EQ(std::make_tuple(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond),
              std::make_tuple(2016, 6, 1, 18, 20, 30));
    EXPECT_EQ(::CompareFileTime(&created, &modified), 0);
}

TEST_F(AuUpgradeDownload, FileStartCanSkipAFile) {
    AU_REQUIRE_TEST_SERVER();
    const Names names{FileName(L"keep"), FileName(L"skip"), FileName(L"also")};
    ServeInfo(InfoWith({FileUrl(names[0], L"size=10"), FileUrl(names[1], L"size=20"), FileUrl(names[2], L"size=30")}));
    skipFile = [&](const std::wstring& url) { return url.find(names[1]) != std::wstring::npos; };
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "Progress", "FileDone", "FileStart", "FileStart",
                               "Progress", "FileDone", "EndUpgrade", "Aborted"}));
    EXPECT_TRUE(FileExists(Downloaded(names[0])));
    EXPECT_FALSE(FileExists(Downloaded(names[1])));
    EXPECT_TRUE(FileExists(Downloaded(names[2])));
}

TEST_F(AuUpgradeDownload, SizeRuleSkipsOtherFilesOfTheSameSizeButNeverTheProgram) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetMiscFilesUpgrade(mfuOnlyIfSizeDifferent);
    const Names names{FileName(L"same"), FileName(L"differs")};
    for (const auto& name : names) {
        const std::wstring local = win::ExeDir() + name;
        downloads.push_back(name);
        win::UniqueHFile file(::CreateFileW(local.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), std::string(500, 'x').data(), 500, &written, nullptr));
    }
    const std::wstring program = FileNamePart(win::ExePath());
    const int64_t programSize = GetFileSizeByName(win::ExePath());
    downloads.push_back(program + kDownloadSuffix);
    ServeInfo(InfoWith({FileUrl(names[0], L"size=500"), FileUrl(names[1], L"size=501"),
                        FileUrl(program, L"size=" + std::to_wstring(programSize))}));
    ASSERT_TRUE(Check(60000));
    ASSERT_EQ(fileStarts.size(), 3u);
    EXPECT_FALSE(fileStarts[0].go) << "same size: not fetched";
    EXPECT_TRUE(fileStarts[1].go);
    EXPECT_TRUE(fileStarts[2].go) << "the program's own file, whatever its size";
    EXPECT_FALSE(FileExists(Downloaded(names[0])));
    EXPECT_TRUE(FileExists(Downloaded(names[1])));
    EXPECT_EQ(GetFileSizeByName(win::ExePath() + kDownloadSuffix), programSize);
}

TEST_F(AuUpgradeDownload, SizeRuleNeverAppliesToASingleFile) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetMiscFilesUpgrade(mfuOnlyIfSizeDifferent);
    const std::wstring name = FileName(L"single");
    downloads.push_back(name);
    {
        win::UniqueHFile file(::CreateFileW((win::ExeDir() + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.get(), "12345", 5, &written, nullptr);
    }
    ServeInfo(InfoWith({FileUrl(name, L"size=5")}));
    ASSERT_TRUE(Check());
    ASSERT_EQ(fileStarts.size(), 1u);
    EXPECT_TRUE(fileStarts[0].go);
    EXPECT_TRUE(FileExists(Downloaded(name)));
}

TEST_F(AuUpgradeDownload, LostFileAskedAndSkippedGoesOnWithTheNext) {
    AU_REQUIRE_TEST_SERVER();
    const Names names{FileName(L"one"), FileName(L"lost"), FileName(L"three")};
    ServeInfo(InfoWith({FileUrl(names[0], L"size=10"), FileUrl(names[1], L"status=404&body=no"),
                        FileUrl(names[2], L"size=30")}));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "Progress", "FileDone", "FileStart", "Progress",
                               "LostFile 404", "FileStart", "Progress", "FileDone", "EndUpgrade", "Aborted"}))
        << "the error answer's headers and body come first";
    EXPECT_EQ(user->calls, (Strings{"AskUpgrade", "AskSkipLostFile 404"}));
    EXPECT_EQ(user->lostFileNames, (Names{names[1]}));
    EXPECT_FALSE(FileExists(Downloaded(names[1]))) << "the error body is not kept";
    EXPECT_TRUE(FileExists(Downloaded(names[2])));
}

// The questions wait for the user as long as the user likes; no transfer's
// worker (and its connection) may wait with them.
TEST_F(AuUpgradeDownload, QuestionsAreAskedOnceTheTransfersWorkerHasGone) {
    AU_REQUIRE_TEST_SERVER();
    const Names names{FileName(L"lost"), FileName(L"next")};
    ServeInfo(InfoWith({FileUrl(names[0], L"status=404&body=no"), FileUrl(names[1], L"size=30")}));
    const int idleThreads = ScriptedDialogs::ProcessThreadCount();
    ASSERT_TRUE(Check());
    EXPECT_EQ(user->calls, (Strings{"AskUpgrade", "AskSkipLostFile 404"}));
    EXPECT_EQ(user->askedWithWorkerAlive, 0);
    ASSERT_EQ(user->threadsAtQuestions.size(), 2u);
    std::printf("threads: idle %d, at the upgrade question %d, at the lost-file question %d\n", idleThreads,
                user->threadsAtQuestions[0], user->threadsAtQuestions[1]);
    EXPECT_TRUE(FileExists(Downloaded(names[1])));
}

// The base's events belong to whoever uses the component as a plain
// transfer; the upgrader's own handling does not hang on them.
TEST_F(AuUpgradeDownload, CallerAssigningTheBaseEventsDoesNotUnhookTheUpgrade) {
    AU_REQUIRE_TEST_SERVER();
    TauCustomHTTP& base = *upgrader;
    int baseProgress = 0, baseDone = 0;
    base.OnProgress = [&](TauCustomHTTP*, const std::wstring&, uint32_t, uint32_t, uint32_t, int32_t, uint8_t, float,
                          Stream*) { ++baseProgress; };
    base.OnDone = [&](TauCustomHTTP*, const std::wstring&, uint32_t, Stream*) { ++baseDone; };
    base.OnHeaderInfo = nullptr;
    const Names names{FileName(L"a"), FileName(L"b")};
    ServeInfo(InfoWith({FileUrl(names[0], L"size=9000"), FileUrl(names[1], L"size=100")}));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "Progress", "FileDone", "FileStart", "Progress",
                               "FileDone", "EndUpgrade", "Aborted"}));
    EXPECT_EQ(FileBytes(Downloaded(names[0])), PatternBytes(0, 9000));
    EXPECT_EQ(FileBytes(Downloaded(names[1])), PatternBytes(0, 100));
    EXPECT_EQ(baseProgress + baseDone, 0) << "the upgrader's hooks take the place of the base's events";
}

TEST_F(AuUpgradeDownload, LostFileDeclinedAbortsTheUpgrade) {
    AU_REQUIRE_TEST_SERVER();
    user->skipLostFile = false;
    const Names names{FileName(L"lost"), FileName(L"never")};
    ServeInfo(InfoWith({FileUrl(names[0], L"status=500"), FileUrl(names[1], L"size=30")}));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "LostFile 500", "Aborted"}))
        << "the error answer's headers come first";
    EXPECT_EQ(RequestCount(tag), 2) << "the file after it is not fetched";
}

TEST_F(AuUpgradeDownload, LostFileHandlerDecidesWhenNoQuestionIsShown) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetShowMessages({});
    continueLostFile = true;
    const Names names{FileName(L"lost"), FileName(L"next")};
    ServeInfo(InfoWith({FileUrl(names[0], L"status=403"), FileUrl(names[1], L"size=30")}));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "LostFile 403", "FileStart", "Progress", "FileDone",
                               "EndUpgrade", "Aborted"}));
    EXPECT_TRUE(user->calls.empty());
}

TEST_F(AuUpgradeDownload, ProtectedFileAsksForCredentialsAndThenArrives) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring name = FileName(L"protected");
    user->user = L"upg-user-" + tag.substr(tag.size() - 6);
    user->password = L"secret";
    ServeInfo(InfoWith({FileUrl(name, L"size=777&auth=" + QueryEscape(user->user + L":secret"))}));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "PasswordRequest", "FileStart", "Progress", "FileDone", "EndUpgrade",
                               "Aborted"}));
    EXPECT_EQ(realms, (Names{L"Files"}));
    EXPECT_EQ(user->passwordFiles, (Names{name}));
    EXPECT_EQ(upgrader->HTTPUsername(), user->user);
    EXPECT_EQ(FileBytes(Downloaded(name)), PatternBytes(0, 777));
}

TEST_F(AuUpgradeDownload, ProtectedFileCancelledAbortsTheUpgrade) {
    AU_REQUIRE_TEST_SERVER();
    user->confirmPassword = false;
    const Names names{FileName(L"protected"), FileName(L"never")};
    ServeInfo(InfoWith({FileUrl(names[0], L"size=10&auth=a:b"), FileUrl(names[1], L"size=10")}));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "PasswordRequest", "Aborted"}));
    PumpFor(500);
    EXPECT_EQ(events.back(), "Aborted") << "no event after the abort";
    EXPECT_FALSE(upgrader->Busy());
    EXPECT_EQ(RequestCount(tag), 2);
}

TEST_F(AuUpgradeDownload, ConnectionLostStopsTheDownloadsAndClosesTheWizard) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->Wizard().SetEnabled(true);
    const Names names{FileName(L"short"), FileName(L"never")};
    ServeInfo(InfoWith({FileUrl(names[0], L"size=1000&length=5000"), FileUrl(names[1], L"size=10")}));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "Progress", "ConnLost"}));
    EXPECT_EQ(user->calls,
              (Strings{"AskUpgrade", "ShowWizard", ShowErrorCall(kTextConnectionLost), "WizardDestroyed"}));
    EXPECT_FALSE(FileExists(Downloaded(names[0]))) << "a partial file is not left behind";
    EXPECT_EQ(RequestCount(tag), 2);
}

TEST_F(AuUpgradeDownload, WizardFollowsTheFilesAndTheRestartWaitsForIt) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->Wizard().SetEnabled(true);
    const Names names{FileName(L"w1"), FileName(L"w2")};
    const Names urls{FileUrl(names[0], L"size=20000"), FileUrl(names[1], L"size=20000")};
    ServeInfo(InfoWith(urls));
    // The user presses OK only a while after the wizard says it is finished;
    // until then nothing may restart.
    DWORD finishedAt = 0, endedAt = 0;
    g_waitingUser = user;
    user->onWizardFinished = [&](TauAutoUpgrader&) {
        finishedAt = ::GetTickCount();
        ::SetTimer(nullptr, 0, 800, &PressOk);
    };
    upgrader->OnEndUpgrade = [&](TauAutoUpgrader* sender) {
        endedAt = ::GetTickCount();
        Note("EndUpgrade", true);
        sender->Abort();
    };
    ASSERT_TRUE(Check());
    g_waitingUser = nullptr;
    EXPECT_GE(endedAt - finishedAt, 700u);
    EXPECT_EQ(user->calls, (Strings{"AskUpgrade", "ShowWizard", "WizardFinished"}));
    EXPECT_EQ(user->wizardFiles, (Names{L"1/2 " + urls[0], L"2/2 " + urls[1]}));
    EXPECT_EQ(user->wizardTotals.back(), 100);
    EXPECT_EQ(events.back(), "Aborted");
}

TEST_F(AuUpgradeDownload, WizardClosedWithAbortAtTheEndRestartsNothing) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->Wizard().SetEnabled(true);
    const std::wstring name = FileName(L"w");
    ServeInfo(InfoWith({FileUrl(name, L"size=10")}));
    user->onWizardFinished = [&](TauAutoUpgrader& sender) {
        sender.Abort();
        user->wizardShowing = false;
    };
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "Progress", "FileDone", "Aborted"}));
    EXPECT_TRUE(std::find(events.begin(), events.end(), "EndUpgrade") == events.end());
}

TEST_F(AuUpgradeDownload, AbortDuringADownloadEndsEverything) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->Wizard().SetEnabled(true);
    const Names names{FileName(L"slow"), FileName(L"never")};
    ServeInfo(InfoWith({FileUrl(names[0], L"size=40000&chunk=4000&drip=100"), FileUrl(names[1], L"size=10")}));
    onProgress = [&] {
        if (percents.size() == 2) upgrader->Abort();
    };
    ASSERT_TRUE(Check());
    PumpFor(500);
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "Progress", "Aborted"}));
    EXPECT_EQ(user->calls, (Strings{"AskUpgrade", "ShowWizard", "WizardDestroyed"}));
    EXPECT_FALSE(upgrader->Busy());
    EXPECT_EQ(RequestCount(tag), 2);
}

TEST_F(AuUpgradeDownload, AddressesWithQueriesAndForbiddenCharactersStayInTheDirectory) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring stem = FileName(L"q");
    const std::wstring parent = win::ExeDir() + L"..\\";
    // Escaped separators and dots that would climb out, and characters no
    // file name may hold; the name's tail keeps the test's own prefix.
    const std::wstring climbing = L"..%5C..%5C" + stem;
    const std::wstring forbidden = stem + L"%3A%2A%3F";
    downloads.push_back(L".._.._" + stem + kDownloadSuffix);
    downloads.push_back(stem + L"___" + kDownloadSuffix);
    ServeInfo(InfoWith({FileUrl(stem, L"size=11&x=/evil"), FileUrl(climbing, L"size=12"),
                        FileUrl(forbidden, L"size=13")}));
    ASSERT_TRUE(Check());
    EXPECT_EQ(GetFileSizeByName(Downloaded(stem)), 11) << "the query names no file";
    EXPECT_EQ(GetFileSizeByName(win::ExeDir() + L".._.._" + stem + kDownloadSuffix), 12);
    EXPECT_EQ(GetFileSizeByName(win::ExeDir() + stem + L"___" + kDownloadSuffix), 13);
    EXPECT_FALSE(FileExists(parent + stem + kDownloadSuffix));
    EXPECT_FALSE(FileExists(parent + L"..\\" + stem + kDownloadSuffix));
    EXPECT_FALSE(FileExists(win::ExeDir() + L"evil" + kDownloadSuffix));
}

TEST_F(AuUpgradeDownload, AddressThatNamesNoFileIsALostFile) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring name = FileName(L"after");
    ServeInfo(InfoWith({TestUrl(tag, L"dir") + L"/", FileUrl(name, L"size=10")}));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "LostFile 0", "FileStart", "Progress", "FileDone", "EndUpgrade",
                               "Aborted"}));
    EXPECT_EQ(user->calls, (Strings{"AskUpgrade", "AskSkipLostFile 0"}));
    EXPECT_EQ(RequestCount(tag), 2) << "the address without a file is not fetched";
}

TEST_F(AuUpgradeDownload, ThousandsOfAddressesWithoutAFileAreSkippedWithoutGrowingTheStack) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetShowMessages({});
    continueLostFile = true;
    const std::wstring name = FileName(L"last");
    std::vector<std::wstring> urls(20000, L"http://127.0.0.1/dir/");
    urls.push_back(FileUrl(name, L"size=10"));
    ServeInfoFromFile(InfoWith(urls));
    ASSERT_TRUE(Check(60000));
    EXPECT_EQ(lostFiles.size(), 20000u);
    EXPECT_TRUE(FileExists(Downloaded(name)));
}

TEST_F(AuUpgradeDownload, ServerThatLiesAboutSizes) {
    AU_REQUIRE_TEST_SERVER();
    const Names names{FileName(L"less"), FileName(L"more")};
    // Announces fewer bytes than it sends: the announced ones are the file.
    ServeInfo(InfoWith({FileUrl(names[0], L"size=1000&length=100"), FileUrl(names[1], L"size=100&length=1000")}));
    ASSERT_TRUE(Check());
    EXPECT_EQ(FileBytes(Downloaded(names[0])), PatternBytes(0, 100));
    // Announces more than it sends: the connection is lost, nothing kept.
    EXPECT_EQ(events.back(), "ConnLost");
    EXPECT_FALSE(FileExists(Downloaded(names[1])));
}

TEST_F(AuUpgradeDownload, FileThatCannotBeWrittenIsALostFile) {
    AU_REQUIRE_TEST_SERVER();
    const Names names{FileName(L"locked"), FileName(L"fine")};
    // Something holds the download's own name open without sharing it.
    win::UniqueHFile blocker(::CreateFileW(Downloaded(names[0]).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           0, nullptr));
    ASSERT_TRUE(blocker);
    ServeInfo(InfoWith({FileUrl(names[0], L"size=10"), FileUrl(names[1], L"size=10")}));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "LostFile 0", "FileStart", "Progress", "FileDone",
                               "EndUpgrade", "Aborted"}));
    EXPECT_TRUE(FileExists(Downloaded(names[1])));
}

// A self-upgrade program that can be neither written nor started (a
// directory stands where it goes): the program must not close as if the
// upgrade were under way, and nothing downloaded may stay behind.
TEST_F(AuUpgradeDownload, RefusedSelfUpgradeKeepsTheProgramOpenAndRemovesTheDownloads) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring blocker = TauAutoUpgrader::SelfUpgradePath();
    ::SetFileAttributesW(blocker.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(blocker.c_str());
    ASSERT_TRUE(::CreateDirectoryW(blocker.c_str(), nullptr)) << win::ToUtf8(blocker);
    struct RemoveBlocker {
        std::wstring path;
        ~RemoveBlocker() { ::RemoveDirectoryW(path.c_str()); }
    } removeBlocker{blocker};

    const Names names{FileName(L"r1"), FileName(L"r2")};
    ServeInfo(InfoWith({FileUrl(names[0], L"size=10"), FileUrl(names[1], L"size=20")}));
    bool closed = false;
    upgrader->OnDoOwnCloseAppMethod = [&](TauAutoUpgrader*) { closed = true; };
    upgrader->OnEndUpgrade = [&](TauAutoUpgrader*) { Note("EndUpgrade"); };
    ASSERT_TRUE(Check());

    EXPECT_FALSE(closed) << "the program was closed although nothing will upgrade it";
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "Progress", "FileDone", "FileStart", "Progress",
                               "FileDone", "EndUpgrade", "Aborted"}));
    ASSERT_EQ(user->calls, (Strings{"AskUpgrade", "ShowSystemError"}));
    EXPECT_FALSE(user->errorArguments.back().empty());
    for (const auto& name : names) EXPECT_FALSE(FileExists(Downloaded(name))) << win::ToUtf8(name);
    EXPECT_FALSE(upgrader->InUpgrade());
}

} // namespace
} // namespace au::testing
