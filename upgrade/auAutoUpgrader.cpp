// The component's life: construction, its hidden window and check timer,
// starting a check, stopping, and handing over to the self-upgrade
// program. The stages of a check, driven by the transfer's events, are in
// upgrade_stages.cpp.
#include "upgrade/auAutoUpgrader.h"

#include "log/log4me.h"
#include "net/file_helpers.h"
#include "net/shell_helpers.h"
#include "net/streams.h"
#include "upgrade/languages.h"
#include "upgrade/selfupgrade/download_scan.h"
#include "upgrade/upgrade_rules.h"
#include "win/error.h"
#include "win/process.h"
#include "win/strings.h"
#include "win/window.h"

namespace au {
namespace {

constexpr wchar_t kWindowClass[] = L"TauAutoUpgraderWindow";
constexpr wchar_t kResourceName[] = L"AUUPG";
// Wakes the component's window for the next posted step.
constexpr UINT kStepMessage = WM_APP + 0x55;
// How long a step waits for the worker that posted it to be gone.
constexpr DWORD kWorkerLeavingMilliseconds = 3000;

std::string ReadAll(Stream* stream) {
    std::string bytes;
    if (!stream) return bytes;
    stream->SetPosition(0);
    bytes.resize(static_cast<size_t>(stream->Size()));
    bytes.resize(stream->Read(bytes.data(), bytes.size()));
    return bytes;
}

CivilTime LocalNow() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

} // namespace

void TauAutoUpgrader::DeleteDownloadedFiles(const std::wstring& directory) {
    for (const auto& name : selfupgrade::ListDownloads(directory)) {
        const std::wstring path = directory + name;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (::DeleteFileW(path.c_str())) continue;
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND)
            LogError("upgrade: the download " + win::ToAnsi(path) + " would not delete (error " +
                     std::to_string(error) + ")");
    }
}

void TauAutoUpgraderWizard::SetPic118x218(HBITMAP picture) {
    picture_.reset(picture ? ::CopyImage(picture, IMAGE_BITMAP, 0, 0, 0) : nullptr);
}

void TauAutoUpgraderWizard::SetLanguage(TauAutoUpgraderLanguage value) {
    language_ = value;
    resolved_ = value == wlAuto ? LanguageForSystem(::GetSystemDefaultLangID()) : value;
}

const std::wstring& TauAutoUpgrader::SelfUpgradePath() {
    static const std::wstring path = GetTempDirectory() + kSelfUpgradeFileName;
    return path;
}

TauAutoUpgrader::TauAutoUpgrader()
    : infoFile_(std::make_unique<TauAutoUpgraderInfo>()),
      wizard_(std::make_unique<TauAutoUpgraderWizard>()),
      dialogs_(MakeBuiltInUpgradeDialogs()) {
    HookTransfer();
    SetHideOutputFile(true);

    const std::wstring& leftover = SelfUpgradePath();
    ::SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(leftover.c_str());

    versionDate_ = FormatVersionDate(LocalNow());
    wizard_->SetLanguage(wlAuto);

    window_ = win::CreateHiddenWindow(kWindowClass, &TauAutoUpgrader::WindowProc, WS_POPUP);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TauAutoUpgrader::HookTransfer() {
    using Stage = UpgradeStage;
    hooks.headerInfo = [this](TauCustomHTTP*, const std::wstring&, const std::wstring&, const std::wstring&,
                              const std::wstring&, const std::wstring&, uint32_t contentLength, DateTime,
                              DateTime lastModified, DateTime, bool& continueDownload) {
        if (stage_ == Stage::kDownloading) FileHeaderInfo(contentLength, lastModified, continueDownload);
    };
    hooks.progress = [this](TauCustomHTTP*, const std::wstring&, uint32_t fileSize, uint32_t bytesRead,
                            uint32_t elapsedTime, int32_t estimatedTimeLeft, uint8_t percentsDone, float transferRate,
                            Stream*) {
        if (stage_ == Stage::kDownloading)
            FileProgress(fileSize, bytesRead, elapsedTime, estimatedTimeLeft, percentsDone, transferRate);
    };
    // The password window stays inside its hand-over: the worker reads the
    // answer right after.
    hooks.passwordRequest = [this](TauCustomHTTP*, const std::wstring& realm, bool& tryAgain) {
        PasswordRequest(realm, tryAgain);
    };
    hooks.done = [this](TauCustomHTTP*, const std::wstring&, uint32_t, Stream* stream) {
        if (stage_ == Stage::kInformation) {
            // The stream goes with the event; its text is what the step needs.
            Post([this, text = ReadAll(stream)] { ReadInformation(text); });
        } else if (stage_ == Stage::kDownloading) {
            Post([this] { FileDone(); });
        }
    };
    hooks.doneInterrupted = [this](TauCustomHTTP*) {
        if (stage_ == Stage::kDownloading) Post([this] { FileInterrupted(); });
    };
    hooks.httpError = [this](TauCustomHTTP*, int32_t errorCode, Stream*) {
        if (stage_ == Stage::kDownloading) Post([this, errorCode] { LostFile(errorCode); });
        else if (stage_ == Stage::kInformation) Post([this] { NoInfoFile(); });
    };
    // A transfer that succeeded and yet fires only OnAnyError is one whose
    // output file could not be made; every other failure has its own event.
    hooks.anyError = [this](TauCustomHTTP*) {
        if (HTTPSuccess && stage_ == Stage::kDownloading) Post([this] { LostFile(kNoUsableFile); });
    };
    hooks.connLost = [this](TauCustomHTTP*, const std::wstring&, uint32_t, uint32_t, Stream*) {
        Post([this] { ConnLost(); });
    };
    hooks.hostUnreachable = [this](TauCustomHTTP*) { Post([this] { HostUnreachable(); }); };
    // Set only while a checked download runs; the window thread leaves the
    // hash and the allowance alone until its worker has gone.
    hooks.received = [this](const void* bytes, size_t count) {
        if (!fileHash_) return true;
        if (!allowance_.Take(count)) return false;
        fileHash_->Update(bytes, count);
        return true;
    };
}

void TauAutoUpgrader::Post(std::function<void()> step) {
    steps_.push_back(std::move(step));
    if (!::PostMessageW(window_, kStepMessage, 0, 0)) {
        // Without the message the check would stall unseen; run it here.
        LogError("upgrade: a step could not be posted (error " + std::to_string(::GetLastError()) + ")");
        RunPostedStep();
    }
}

void TauAutoUpgrader::RunPostedStep() {
    if (steps_.empty()) return;
    std::function<void()> step = std::move(steps_.front());
    steps_.pop_front();
    // The worker that posted it has handed over its last call; it is given
    // the moment it needs to be gone.
    if (!Busy()) Thread().WaitForEnd(kWorkerLeavingMilliseconds);
    step();
}

TauAutoUpgrader::~TauAutoUpgrader() {
    steps_.clear();
    autoCheck_ = false;
    ::KillTimer(window_, kCheckTimerId);
    // The transfer's events reach this object's parts, which go before the
    // transfer itself does: a running one is let go first.
    if (Busy()) TauCustomHTTP::Abort();
    dialogs_->DestroyWindows();
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
}

LRESULT CALLBACK TauAutoUpgrader::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TauAutoUpgrader*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_QUERYENDSESSION) return TRUE;
    if (message == kStepMessage && self) {
        try {
            self->RunPostedStep();
        } catch (const std::exception& e) {
            win::Application::ShowException(e);
        }
        return 0;
    }
    if (message == WM_TIMER && wParam == kCheckTimerId && self) {
        // Nothing may unwind through the platform's dispatch.
        try {
            self->TimerTick();
        } catch (const std::exception& e) {
            win::Application::ShowException(e);
        }
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void TauAutoUpgrader::SetAutoCheck(bool value) {
    autoCheck_ = value;
    ApplyTimerRule();
}

void TauAutoUpgrader::ApplyTimerRule() {
    ::KillTimer(window_, kCheckTimerId);
    if (autoCheck_ && !autoCheckDone_ && !::SetTimer(window_, kCheckTimerId, kCheckTimerMilliseconds, nullptr))
        throw win::Error(L"Not enough timers available", ERROR_NO_SYSTEM_RESOURCES);
}

void TauAutoUpgrader::TimerTick() {
    // Offline, the timer simply fires again.
    if (!IsOnline() || !autoCheck_) return;
    autoCheckDone_ = true;
    ApplyTimerRule();
    CheckUpdate();
    isAutoCheck_ = true;
}

void TauAutoUpgrader::SetRestartParams(std::wstring value) { restartParams_ = value.empty() ? L" " : std::move(value); }

void TauAutoUpgrader::SetQInfoStage(bool value) {
    if (value) stage_ = UpgradeStage::kInformation;
    else if (stage_ == UpgradeStage::kInformation) stage_ = UpgradeStage::kIdle;
    SetUseCache(!value);
}

void TauAutoUpgrader::SetDialogs(std::unique_ptr<TauUpgradeDialogs> dialogs) {
    if (dialogs_) dialogs_->DestroyWindows();
    dialogs_ = std::move(dialogs);
}

void TauAutoUpgrader::Loaded() {
    if (OnAfterRestart && selfupgrade::IsRestartArgument(win::CommandLineArgument(1), restartParams_)) OnAfterRestart(this);
}

void TauAutoUpgrader::CheckUpdate() {
    inUpgrade_ = false;
    aborted_ = false;
    isAutoCheck_ = false;
    if (Busy()) return;
    fileHash_.reset();
    SetQInfoStage(true);
    SetURL(infoFileURL_);
    SetOutputFileName(L"");
    inUpgrade_ = true;
    Read();
}

void TauAutoUpgrader::Stop() {
    steps_.clear();
    TauCustomHTTP::Abort();
    dialogs_->DestroyWindows();
}

void TauAutoUpgrader::Abort() {
    aborted_ = true;
    Stop();
    if (OnAborted) OnAborted(this);
    inUpgrade_ = false;
}

void TauAutoUpgrader::RestartApplication(const std::wstring& params) {
    DeleteDownloadedFiles(win::ExeDir());
    StartSelfUpgrade(L"+" + params);
}

void TauAutoUpgrader::StartSelfUpgrade(const std::wstring& argument) {
    const std::wstring& path = SelfUpgradePath();
    try {
        {
            // Closed before it is started; an old copy is replaced.
            FileStream file(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY);
            SaveResourceToStream(::GetModuleHandleW(nullptr), kResourceName, kResourceName, &file);
        }
        win::Application::ProcessMessages();
        win::StartOptions options;
        options.application = path;
        win::StartProcess(selfupgrade::CommandLine(path, win::ExePath(), argument), options);
    } catch (const win::Error& e) {
        SelfUpgradeFailed(e);
        return;
    }
    win::Application::ProcessMessages();
    stage_ = UpgradeStage::kRestarting;
    restarting_ = true;
    if (OnDoOwnCloseAppMethod) OnDoOwnCloseAppMethod(this);
    else CloseApplication();
}

// Closing now would leave the user with a vanished program and nothing
// upgraded; an earlier copy of the self-upgrade program left in its place is
// no better, since it may not be the one this program carries. So the
// program stays, its downloads go, and the user and the caller are told.
void TauAutoUpgrader::SelfUpgradeFailed(const win::Error& error) {
    const std::wstring message = error.Code() ? win::SystemMessage(error.Code()) : error.Message();
    LogError("upgrade: the self-upgrade program " + win::ToAnsi(SelfUpgradePath()) +
             " could not be written or started: " + win::ToAnsi(message));
    DeleteDownloadedFiles(win::ExeDir());
    dialogs_->ShowSystemError(*this, message);
    if (OnAborted) OnAborted(this);
    inUpgrade_ = false;
}

} // namespace au
