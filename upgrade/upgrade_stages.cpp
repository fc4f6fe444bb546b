// The stages of a check: the information file, then each file of the
// update, then the hand-over to the self-upgrade program. The transfer's
// header and progress events are handled inside their hand-over; every
// completion is a step posted to the component's window, run once the
// worker has gone.
#include <string>

#include "net/file_helpers.h"
#include "net/shell_helpers.h"
#include "net/streams.h"
#include "upgrade/auAutoUpgrader.h"
#include "upgrade/info_file.h"
#include "upgrade/upgrade_rules.h"
#include "win/locale_info.h"
#include "win/strings.h"
#include "win/window.h"

namespace au {
namespace {

LocaleDateFormat UserDateFormat() {
    wchar_t picture[80] = {};
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, picture, 80);
    return DateFormatOf(picture, win::LocaleTimeSeparator());
}

DateTime Today() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return EncodeDate(t.wYear, t.wMonth, t.wDay).value_or(0);
}

bool QuitPending() {
    MSG msg;
    return ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

} // namespace

std::wstring TauAutoUpgrader::ShownFileName() const {
    return DownloadFileName(URL()).value_or(FileName());
}

void TauAutoUpgrader::FileHeaderInfo(uint32_t contentLength, DateTime lastModified, bool& continueDownload) {
    currentFileTime_ = lastModified;
    if (dialogs_->WizardShowing()) dialogs_->WizardFileSize(contentLength);
    const std::wstring local = selfupgrade::ReplacedName(currentFileName_);
    const int64_t size = GetFileSizeByName(local);
    continueDownload = FetchUnderSizeRule(miscFilesUpgrade_, contentLength, downloadQueue_.size(), local,
                                          win::ExePath(), size < 0 ? std::nullopt : std::optional<int64_t>(size));
    if (OnFileStart) OnFileStart(this, URL(), contentLength, lastModified, continueDownload);
}

void TauAutoUpgrader::FileProgress(uint32_t fileSize, uint32_t bytesRead, uint32_t elapsedTime,
                                   int32_t estimatedTimeLeft, uint8_t percentsDone, float transferRate) {
    const uint8_t total =
        TotalPercentsDone(percentsDone, currentFileIndex_, static_cast<int32_t>(downloadQueue_.size()));
    if (OnProgress)
        OnProgress(this, URL(), fileSize, bytesRead, elapsedTime, estimatedTimeLeft, percentsDone, total,
                   transferRate);
    if (dialogs_->WizardShowing()) dialogs_->WizardProgress(percentsDone, total, transferRate, estimatedTimeLeft);
}

void TauAutoUpgrader::FileDone() {
    if (const auto fault = FileVerdict()) {
        DownloadRejected(*fault);
        return;
    }
    if (currentFileTime_ != 0) SetFileTimes(currentFileName_, currentFileTime_, currentFileTime_, -1);
    if (OnFileDone) OnFileDone(this, currentFileName_);
    NextFile();
    inUpgrade_ = false;
}

void TauAutoUpgrader::FileInterrupted() {
    NextFile();
    inUpgrade_ = false;
}

void TauAutoUpgrader::NoInfoFile() {
    inUpgrade_ = false;
    if (OnNoInfoFile) OnNoInfoFile(this);
    if (showMessages_.Contains(mNoInfoFile)) dialogs_->ShowError(*this, kTextNoInfoFile, L"");
}

void TauAutoUpgrader::ConnLost() {
    // A body that ran past its declared size was cut off here on purpose.
    if (fileHash_ && allowance_.Overrun()) {
        DownloadRejected(VerifyReason::kSizeMismatch);
        return;
    }
    inUpgrade_ = false;
    if (OnConnLost) OnConnLost(this);
    if (showMessages_.Contains(mConnLost)) dialogs_->ShowError(*this, kTextConnectionLost, L"");
    Stop();
}

void TauAutoUpgrader::HostUnreachable() {
    inUpgrade_ = false;
    if (OnHostUnreachable) OnHostUnreachable(this, URL(), HostName());
    if (isAutoCheck_) {
        // Tried again when the timer next fires.
        autoCheckDone_ = false;
        ApplyTimerRule();
    } else if (showMessages_.Contains(mHostUnreachable)) {
        dialogs_->ShowError(*this, kTextHostUnreachable, UnreachableHostText(URL(), HostName()));
    }
    Stop();
}

void TauAutoUpgrader::PasswordRequest(const std::wstring& realm, bool& tryAgain) {
    if (OnPasswordRequest) OnPasswordRequest(this, realm, tryAgain);
    if (tryAgain || !showMessages_.Contains(mPasswordRequest)) return;
    tryAgain = dialogs_->AskPassword(*this, ShownFileName());
    if (!tryAgain) Abort();
}

void TauAutoUpgrader::ReadInformation(const std::string& file) {
    inUpgrade_ = false;
    forceUpgrade_ = false;
    hasUpgraded_ = false;
    downloadQueue_.clear();
    // Signed, only what the signature covers is read.
    std::string_view text = file;
    if (Signed()) {
        if (const auto fault = VerifyInformation(file, text)) {
            InformationRejected(*fault);
            return;
        }
    }

    const UpdateInfo info = ReadUpdateInfo(text);
    downloadQueue_ = info.files;
    remoteVersionNumber_ = info.version;
    forceUpgrade_ = info.forceUpgrade;
    bool newer = false;
    if (versionControl_ == byNumber) {
        newer = ServerIsNewer(byNumber, remoteVersionNumber_, versionNumber_, 0, 0);
    } else {
        const LocaleDateFormat format = UserDateFormat();
        const DateTime today = Today();
        newer = ServerIsNewer(byDate, {}, {}, VersionDateValue(info.date, format, today),
                              VersionDateValue(versionDate_, format, today));
    }
    if (!newer || downloadQueue_.empty()) {
        if (OnNoUpdateAvailable) OnNoUpdateAvailable(this);
        if (!isAutoCheck_ && showMessages_.Contains(mNoUpdateAvailable)) dialogs_->ShowError(*this, kTextNoNewerVersion, L"");
        return;
    }

    inUpgrade_ = true;
    const std::wstring message = InfoMessage(text);
    updateMethod_ = MethodOf(InfoEntry(text, "method").value_or(""));
    bool canUpgrade = true;
    if (OnBeginUpgrade) OnBeginUpgrade(this, message, updateMethod_, downloadQueue_, canUpgrade);
    if (canUpgrade && !forceUpgrade_ && showMessages_.Contains(mAskUpgrade))
        canUpgrade = dialogs_->AskUpgrade(*this, applicationTitle_, versionNumber_, remoteVersionNumber_, message);
    inUpgrade_ = canUpgrade;
    if (!canUpgrade) {
        if (OnLaterUpgrade) OnLaterUpgrade(this);
        return;
    }
    if (updateMethod_ == umRedirectToURL) {
        inUpgrade_ = false;
        OpenURL(downloadQueue_.front(), true);
        return;
    }
    StartDownloads();
    inUpgrade_ = false;
    hasUpgraded_ = true;
}

void TauAutoUpgrader::StartDownloads() {
    SetQInfoStage(false);
    stage_ = UpgradeStage::kDownloading;
    currentFileIndex_ = 0;
    // The self-upgrade program puts every download of the directory in
    // place: signed, only this upgrade's checked ones may be there.
    if (Signed()) DeleteDownloadedFiles(win::ExeDir());
    if (wizard_->Enabled()) dialogs_->ShowWizard(*this);
    FetchFile();
}

void TauAutoUpgrader::FetchFile() {
    // A loop, not a recursion: a long run of addresses that name no file
    // is skipped without growing the stack.
    const int32_t count = static_cast<int32_t>(downloadQueue_.size());
    for (; currentFileIndex_ < count; ++currentFileIndex_) {
        const std::wstring url = downloadQueue_[currentFileIndex_];
        SetURL(url);
        if (dialogs_->WizardShowing()) dialogs_->WizardFile(url, currentFileIndex_ + 1, count);
        const auto name = DownloadFileName(url);
        if (!name) {
            if (!ReportLostFile(kNoUsableFile)) return;
            continue;
        }
        currentFileName_ = win::ExeDir() + *name + kDownloadSuffix;
        currentFileTime_ = 0;
        SetOutputFileName(currentFileName_);
        ExpectFile();
        Read();
        return;
    }
    FinishDownloads();
}

void TauAutoUpgrader::NextFile() {
    ++currentFileIndex_;
    FetchFile();
}

bool TauAutoUpgrader::ReportLostFile(int32_t errorCode) {
    bool continueUpgrade = false;
    if (OnLostFile) OnLostFile(this, URL(), errorCode, continueUpgrade);
    if (showMessages_.Contains(mLostFile))
        continueUpgrade = dialogs_->AskSkipLostFile(*this, ShownFileName(), errorCode);
    if (!continueUpgrade) Abort();
    return continueUpgrade;
}

void TauAutoUpgrader::LostFile(int32_t errorCode) {
    if (ReportLostFile(errorCode)) NextFile();
}

void TauAutoUpgrader::FinishDownloads() {
    stage_ = UpgradeStage::kFinished;
    if (dialogs_->WizardShowing()) {
        dialogs_->WizardFinished(*this);
        while (dialogs_->WizardShowing() && !QuitPending()) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            win::Application::ProcessMessages();
        }
        // A program that is closing does not restart itself.
        if (aborted_ || QuitPending()) return;
    }
    if (OnEndUpgrade) OnEndUpgrade(this);
    // A handler of the event may still abort.
    if (aborted_) return;
    StartSelfUpgrade(selfupgrade::RestartArgument(restartParams_, updateMethod_ == umUseExternalSetup
                                                                      ? selfupgrade::ApplyMethod::kExternalSetup
                                                                      : selfupgrade::ApplyMethod::kSelfUpgrade));
}

} // namespace au
