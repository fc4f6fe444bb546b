// What the upgrade component's tests share: a script of the user's answers
// in place of the dialogs, a component whose every event is written down,
// information files served by the test server, and the downloaded files,
// which land beside the test program and are removed after each test.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/http_test_support.h"
#include "upgrade/auAutoUpgrader.h"
#include "win/strings.h"

namespace au::testing {

// How ScriptedDialogs writes down an error box, so that expectations name
// the text rather than its number.
inline std::string ShowErrorCall(TextId id) { return "ShowError " + std::to_string(id); }

// The user, as a test scripts them: every question is answered from the
// fields and every call written down ("AskUpgrade", "ShowError 25", ...).
class ScriptedDialogs : public TauUpgradeDialogs {
public:
    std::vector<std::string> calls;
    bool acceptUpgrade = true;
    bool skipLostFile = true;
    bool confirmPassword = true;
    std::wstring user, password;
    // The finished wizard: by default the user presses OK at once.
    std::function<void(TauAutoUpgrader&)> onWizardFinished;
    bool wizardShowing = false;
    struct {
        std::wstring title, local, remote, message;
    } asked;
    std::vector<std::wstring> errorArguments, lostFileNames, passwordFiles;
    std::vector<std::wstring> wizardFiles;
    std::vector<uint8_t> wizardTotals;
    // Questions asked while a worker of the component was alive, and the
    // process's threads at each question.
    int askedWithWorkerAlive = 0;
    std::vector<int> threadsAtQuestions;

    void NoteQuestion(TauAutoUpgrader& sender) {
        if (sender.Busy() || !sender.Thread().WaitForEnd(0)) ++askedWithWorkerAlive;
        threadsAtQuestions.push_back(ProcessThreadCount());
    }
    static int ProcessThreadCount() {
        win::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
        THREADENTRY32 entry{};
        entry.dwSize = sizeof entry;
        int count = 0;
        for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
            if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
        return count;
    }

    bool AskUpgrade(TauAutoUpgrader& sender, const std::wstring& title, const std::wstring& local,
                    const std::wstring& remote, const std::wstring& message) override {
        NoteQuestion(sender);
        calls.push_back("AskUpgrade");
        asked = {title, local, remote, message};
        return acceptUpgrade;
    }
    void ShowWizard(TauAutoUpgrader&) override {
        calls.push_back("ShowWizard");
        wizardShowing = true;
    }
    bool WizardShowing() const override { return wizardShowing; }
    void WizardFile(const std::wstring& url, int number, int count) override {
        wizardFiles.push_back(std::to_wstring(number) + L"/" + std::to_wstring(count) + L" " + url);
    }
    void WizardFileSize(uint32_t) override {}
    void WizardProgress(uint8_t, uint8_t total, float, int32_t) override { wizardTotals.push_back(total); }
    void WizardFinished(TauAutoUpgrader& sender) override {
        calls.push_back("WizardFinished");
        if (onWizardFinished) onWizardFinished(sender);
        else wizardShowing = false;
    }
    void DestroyWindows() override {
        if (wizardShowing) calls.push_back("WizardDestroyed");
        wizardShowing = false;
    }
    bool AskPassword(TauAutoUpgrader& sender, const std::wstring& fileName) override {
        calls.push_back("AskPassword");
        passwordFiles.push_back(fileName);
        if (confirmPassword) {
            sender.SetHTTPUsername(user);
            sender.SetHTTPPassword(password);
        }
        return confirmPassword;
    }
    void ShowError(TauAutoUpgrader&, int textIndex, const std::wstring& argument) override {
        calls.push_back(ShowErrorCall(static_cast<TextId>(textIndex)));
        errorArguments.push_back(argument);
    }
    void ShowSystemError(TauAutoUpgrader&, const std::wstring& message) override {
        calls.push_back("ShowSystemError");
        errorArguments.push_back(message);
    }
    bool AskSkipLostFile(TauAutoUpgrader& sender, const std::wstring& fileName, int32_t errorCode) override {
        NoteQuestion(sender);
        calls.push_back("AskSkipLostFile " + std::to_string(errorCode));
        lostFileNames.push_back(fileName);
        return skipLostFile;
    }
};

class UpgradeTest : public ::testing::Test {
protected:
    void SetUp() override {
        tag = NewTag();
        upgrader = std::make_unique<TauAutoUpgrader>();
        auto script = std::make_unique<ScriptedDialogs>();
        user = script.get();
        upgrader->SetDialogs(std::move(script));
        upgrader->SetVersionControl(byNumber);
        upgrader->SetVersionNumber(L"1");
        upgrader->SetApplicationTitle(L"Quillet tests");
        upgrader->Wizard().SetEnabled(false);
        Record();
    }

    void TearDown() override {
        upgrader.reset();
        for (const auto& name : downloads) Remove(win::ExeDir() + name);
        for (const auto& path : servedFiles) Remove(path);
    }

    static void Remove(const std::wstring& path) {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
    }

    // A file name of this test alone; its download (name + ".uTMP") is
    // removed after the test.
    std::wstring FileName(const std::wstring& stem, const std::wstring& extension = L".bin") {
        static int counter = 0;
        std::wstring name = L"upg" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) +
                            L"-" + stem + extension;
        downloads.push_back(name + kDownloadSuffix);
        return name;
    }
    std::wstring Downloaded(const std::wstring& name) const { return win::ExeDir() + name + kDownloadSuffix; }

    // The address of a file of this test on the test server.
    std::wstring FileUrl(const std::wstring& name, const std::wstring& query) const {
        return TestUrl(tag, name, query);
    }

    // Serves `text` as the information file and points the component at it.
    void ServeInfo(const std::string& text, const std::wstring& extra = L"") {
        upgrader->SetInfoFileURL(TestUrl(tag, L"info.txt", L"type=text/plain&body=" + QueryEscape(text) + extra));
    }

    // The same for a text too long for an address: served from a file.
    void ServeInfoFromFile(const std::string& text) {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        const std::wstring path =
            std::wstring(temp) + L"upg-info-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
        win::UniqueHFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        servedFiles.push_back(path);
        upgrader->SetInfoFileURL(TestUrl(tag, L"info.txt", L"file=" + QueryEscape(UnixPath(path))));
    }

    // Runs a manual check until the component has come to rest.
    bool Check(DWORD milliseconds = 30000) {
        upgrader->CheckUpdate();
        return PumpUntil([this] { return finished && !upgrader->Busy(); }, milliseconds);
    }

    void Note(const std::string& name, bool last = false) {
        if (name == "Progress" && !events.empty() && events.back() == "Progress") return;
        events.push_back(name);
        if (last) finished = true;
    }

    // Every event; the ones after which nothing more happens end a check.
    // The restart is never reached: OnEndUpgrade aborts, so a test never
    // starts the self-upgrade program beside the test program.
    void Record() {
        TauAutoUpgrader& u = *upgrader;
        u.OnBeginUpgrade = [this](TauAutoUpgrader*, const std::wstring& message, TacUpgradeMethod method,
                                  const std::vector<std::wstring>& files, bool& canUpgrade) {
            Note("BeginUpgrade");
            begin = {message, method, files};
            canUpgrade = allowUpgrade;
        };
        u.OnEndUpgrade = [this](TauAutoUpgrader* sender) {
            Note("EndUpgrade", true);
            sender->Abort();
        };
        u.OnLaterUpgrade = [this](TauAutoUpgrader*) { Note("LaterUpgrade", true); };
        u.OnProgress = [this](TauAutoUpgrader*, const std::wstring&, uint32_t, uint32_t, uint32_t, int32_t,
                              uint8_t percent, uint8_t total, float) {
            Note("Progress");
            totals.push_back(total);
            percents.push_back(percent);
            if (onProgress) onProgress();
        };
        u.OnFileStart = [this](TauAutoUpgrader*, const std::wstring& url, uint32_t size, DateTime time, bool& go) {
            Note("FileStart");
            fileStarts.push_back({url, size, time, go});
            if (skipFile && skipFile(url)) go = false;
        };
        u.OnFileDone = [this](TauAutoUpgrader*, const std::wstring& name) {
            Note("FileDone");
            filesDone.push_back(name);
        };
        u.OnAborted = [this](TauAutoUpgrader*) { Note("Aborted", true); };
        u.OnConnLost = [this](TauAutoUpgrader*) { Note("ConnLost", true); };
        u.OnHostUnreachable = [this](TauAutoUpgrader*, const std::wstring& url, const std::wstring& host) {
            Note("HostUnreachable", true);
            unreachable = {url, host};
        };
        u.OnNoUpdateAvailable = [this](TauAutoUpgrader*) { Note("NoUpdateAvailable", true); };
        u.OnNoInfoFile = [this](TauAutoUpgrader*) { Note("NoInfoFile", true); };
        u.OnLostFile = [this](TauAutoUpgrader*, const std::wstring& url, int32_t code, bool& go) {
            Note("LostFile " + std::to_string(code));
            lostFiles.push_back(url);
            go = continueLostFile;
        };
        u.OnVerifyFailed = [this](TauAutoUpgrader*, const std::wstring& url, VerifyReason reason) {
            refusals.push_back({url, reason});
            Note(std::string("VerifyFailed ") + VerifyReasonName(reason), true);
        };
        u.OnPasswordRequest = [this](TauAutoUpgrader*, const std::wstring& realm, bool&) {
            Note("PasswordRequest");
            realms.push_back(realm);
        };
    }

    using Strings = std::vector<std::string>;

    std::wstring tag;
    std::unique_ptr<TauAutoUpgrader> upgrader;
    ScriptedDialogs* user = nullptr;
    std::vector<std::wstring> downloads, servedFiles;
    std::vector<std::string> events;
    bool finished = false;
    bool allowUpgrade = true;
    bool continueLostFile = false;
    std::function<bool(const std::wstring&)> skipFile;
    std::function<void()> onProgress;
    struct {
        std::wstring message;
        TacUpgradeMethod method = umSelfUpgrade;
        std::vector<std::wstring> files;
    } begin;
    struct FileStart {
        std::wstring url;
        uint32_t size;
        DateTime time;
        bool go;
    };
    std::vector<FileStart> fileStarts;
    struct Refusal {
        std::wstring url;
        VerifyReason reason;
    };
    std::vector<Refusal> refusals;
    std::vector<std::wstring> filesDone, lostFiles, realms;
    std::vector<uint8_t> totals, percents;
    struct {
        std::wstring url, host;
    } unreachable;
};

inline std::string FileBytes(const std::wstring& path) { return ReadFileBytes(path); }

inline bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace au::testing
