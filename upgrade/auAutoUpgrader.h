// The auto-upgrade component: checks the update server for a newer version
// of the running program, downloads the update's files beside it under
// temporary names and hands over to the self-upgrade program, which puts
// them in place once the program has exited and starts it again. It is an
// HTTP client itself: the information file and every update file are
// transfers of the inherited TauCustomHTTP, and every step runs on the
// window thread from the transfer's events.
#pragma once
#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/custom_http.h"
#include "upgrade/selfupgrade/selfupgrade_protocol.h"
#include "upgrade/signed_info.h"
#include "upgrade/upgrade_dialogs.h"
#include "upgrade/upgrade_types.h"
#include "win/crypto.h"
#include "win/error.h"
#include "win/handles.h"

namespace au {

// A description of an update kept with the component; never read at run time.
class TauAutoUpgraderInfo {
public:
    const std::vector<std::wstring>& Files() const noexcept { return files_; }
    void SetFiles(std::vector<std::wstring> value) { files_ = std::move(value); }
    TacUpgradeMethod UpgradeMethod() const noexcept { return upgradeMethod_; }
    void SetUpgradeMethod(TacUpgradeMethod value) noexcept { upgradeMethod_ = value; }
    const std::wstring& UpgradeMsg() const noexcept { return upgradeMsg_; }
    void SetUpgradeMsg(std::wstring value) { upgradeMsg_ = std::move(value); }

private:
    std::vector<std::wstring> files_;
    TacUpgradeMethod upgradeMethod_ = umSelfUpgrade;
    std::wstring upgradeMsg_;
};

// Settings of the download wizard.
class TauAutoUpgraderWizard {
public:
    bool Enabled() const noexcept { return enabled_; }
    void SetEnabled(bool value) noexcept { enabled_ = value; }
    // A bitmap that replaces the wizard's side picture; the wizard keeps a
    // copy, so the caller keeps its own.
    HBITMAP Pic118x218() const noexcept { return static_cast<HBITMAP>(picture_.get()); }
    void SetPic118x218(HBITMAP picture);
    // The language as set (wlAuto included) and the one in use.
    TauAutoUpgraderLanguage Language() const noexcept { return language_; }
    void SetLanguage(TauAutoUpgraderLanguage value);
    TauAutoUpgraderLanguage ResolvedLanguage() const noexcept { return resolved_; }
    bool StayOnTop() const noexcept { return stayOnTop_; }
    void SetStayOnTop(bool value) noexcept { stayOnTop_ = value; }

private:
    bool enabled_ = true;
    win::UniqueGdiObject picture_;
    TauAutoUpgraderLanguage language_ = wlAuto;
    TauAutoUpgraderLanguage resolved_ = wlEnglish;
    bool stayOnTop_ = true;
};

using TUpgraderNotifyEvent = std::function<void(TauAutoUpgrader* sender)>;
using TUpgraderBeginUpgradeEvent =
    std::function<void(TauAutoUpgrader* sender, const std::wstring& upgradeMsg, TacUpgradeMethod upgradeMethod,
                       const std::vector<std::wstring>& files, bool& canUpgrade)>;
using TUpgraderProgressEvent = std::function<void(
    TauAutoUpgrader* sender, const std::wstring& fileURL, uint32_t fileSize, uint32_t bytesRead, uint32_t elapsedTime,
    int32_t estimatedTimeLeft, uint8_t percentsDone, uint8_t totalPercentsDone, float transferRate)>;
using TUpgraderFileStartEvent = std::function<void(TauAutoUpgrader* sender, const std::wstring& fileURL,
                                                   uint32_t fileSize, DateTime fileTime, bool& canUpgrade)>;
using TUpgraderFileDoneEvent = std::function<void(TauAutoUpgrader* sender, const std::wstring& fileName)>;
using TUpgraderHostUnreachableEvent =
    std::function<void(TauAutoUpgrader* sender, const std::wstring& url, const std::wstring& hostname)>;
using TUpgraderLostFileEvent = std::function<void(TauAutoUpgrader* sender, const std::wstring& fileURL,
                                                  int32_t errorCode, bool& continueUpgrade)>;
using TUpgraderVerifyFailedEvent =
    std::function<void(TauAutoUpgrader* sender, const std::wstring& fileURL, VerifyReason reason)>;
using TUpgraderPasswordRequestEvent =
    std::function<void(TauAutoUpgrader* sender, const std::wstring& realm, bool& tryAgain)>;

inline constexpr wchar_t kDefaultRestartParams[] = L"/afterupgrade";
// Agreed with the self-upgrade program in one place.
inline constexpr const auto& kSelfUpgradeFileName = selfupgrade::kProgramFileName;
inline constexpr const auto& kDownloadSuffix = selfupgrade::kDownloadSuffix;
// The error code of OnLostFile that is no HTTP status: the address names no
// file, or the file could not be written in the program's directory.
inline constexpr int32_t kNoUsableFile = 0;
// The automatic check's timer on the component's window, and its period.
inline constexpr UINT_PTR kCheckTimerId = 1;
inline constexpr UINT kCheckTimerMilliseconds = 10000;

// Where a check stands. The transfer's events go to the handlers of the
// stage; the steps that wait for the user run after the transfer's worker
// has gone.
enum class UpgradeStage { kIdle, kInformation, kDownloading, kFinished, kRestarting };

class TauAutoUpgrader : public TauCustomHTTP {
public:
    // Deletes a self-upgrade program left in the temporary directory by an
    // earlier upgrade.
    TauAutoUpgrader();
    ~TauAutoUpgrader() override;

    // After the owner has set the properties: fires OnAfterRestart when the
    // program was started again by an upgrade or a restart.
    void Loaded();
    // Starts a check; nothing more while a transfer runs.
    void CheckUpdate();
    // Stops whatever runs; fires OnAborted.
    void Abort();
    // Deletes every downloaded file of the program's directory, starts the
    // self-upgrade program with "+" + params and closes the program.
    void RestartApplication(const std::wstring& params);

    const std::wstring& ApplicationTitle() const noexcept { return applicationTitle_; }
    void SetApplicationTitle(std::wstring value) { applicationTitle_ = std::move(value); }
    bool AutoCheck() const noexcept { return autoCheck_; }
    // Arms the check timer, or stops it. Raises win::Error when the platform
    // has no timer left.
    void SetAutoCheck(bool value);
    TauAutoUpgraderInfo& InfoFile() noexcept { return *infoFile_; }
    // The Base64 of the publisher's 65-byte uncompressed P-256 point. Set,
    // the information file must carry the publisher's signature and the
    // hash of every file, which each download must match; empty (the
    // default) reads information files as they always were. Raises
    // win::Error for a value that is no such key.
    const std::wstring& PublicKey() const noexcept { return publicKeyText_; }
    void SetPublicKey(std::wstring value);
    const std::wstring& InfoFileURL() const noexcept { return infoFileURL_; }
    void SetInfoFileURL(std::wstring value) { infoFileURL_ = std::move(value); }
    bool InUpgrade() const noexcept { return inUpgrade_; }
    void SetInUpgrade(bool value) noexcept { inUpgrade_ = value; }
    bool ForceUpgrade() const noexcept { return forceUpgrade_; }
    void SetForceUpgrade(bool value) noexcept { forceUpgrade_ = value; }
    bool HasUpgraded() const noexcept { return hasUpgraded_; }
    void SetHasUpgraded(bool value) noexcept { hasUpgraded_ = value; }
    const std::wstring& RestartParams() const noexcept { return restartParams_; }
    // An empty value is kept as a single blank.
    void SetRestartParams(std::wstring value);
    TacMiscFilesUpgradeBehavior MiscFilesUpgrade() const noexcept { return miscFilesUpgrade_; }
    void SetMiscFilesUpgrade(TacMiscFilesUpgradeBehavior value) noexcept { miscFilesUpgrade_ = value; }
    TauAutoUpgraderVersionControl VersionControl() const noexcept { return versionControl_; }
    void SetVersionControl(TauAutoUpgraderVersionControl value) noexcept { versionControl_ = value; }
    const std::wstring& VersionDate() const noexcept { return versionDate_; }
    void SetVersionDate(std::wstring value) { versionDate_ = std::move(value); }
    // Stamps VersionDate only while designing, which a running program never is.
    bool VersionDateAutoSet() const noexcept { return versionDateAutoSet_; }
    void SetVersionDateAutoSet(bool value) noexcept { versionDateAutoSet_ = value; }
    const std::wstring& VersionNumber() const noexcept { return versionNumber_; }
    void SetVersionNumber(std::wstring value) { versionNumber_ = std::move(value); }
    const std::wstring& RemoteVersionNumber() const noexcept { return remoteVersionNumber_; }
    void SetRemoteVersionNumber(std::wstring value) { remoteVersionNumber_ = std::move(value); }
    TauAutoUpgraderShowMessages ShowMessages() const noexcept { return showMessages_; }
    void SetShowMessages(TauAutoUpgraderShowMessages value) noexcept { showMessages_ = value; }
    TauAutoUpgraderWizard& Wizard() noexcept { return *wizard_; }
    // True while the information file is fetched and read; the cache is
    // bypassed then.
    bool QInfoStage() const noexcept { return stage_ == UpgradeStage::kInformation; }
    void SetQInfoStage(bool value);
    UpgradeStage Stage() const noexcept { return stage_; }
    bool Restarting() const noexcept { return restarting_; }
    // The login pair of the component, as the password window fills it.
    const std::wstring& HTTPUsername() const noexcept { return Username(); }
    void SetHTTPUsername(std::wstring value) { SetUsername(std::move(value)); }
    const std::wstring& HTTPPassword() const noexcept { return Password(); }
    void SetHTTPPassword(std::wstring value) { SetPassword(std::move(value)); }

    // The component's hidden window (the check timer lives on it).
    HWND Handle() const noexcept { return window_; }
    const std::vector<std::wstring>& DownloadQueue() const noexcept { return downloadQueue_; }
    int32_t CurrentFileIndex() const noexcept { return currentFileIndex_; }
    // Where the self-upgrade program is written: the temporary directory,
    // fixed when the first component of the process is made.
    static const std::wstring& SelfUpgradePath();
    // The conversation with the user; the built-in windows by default.
    TauUpgradeDialogs& Dialogs() noexcept { return *dialogs_; }
    void SetDialogs(std::unique_ptr<TauUpgradeDialogs> dialogs);

    TUpgraderBeginUpgradeEvent OnBeginUpgrade;
    TUpgraderNotifyEvent OnEndUpgrade;
    TUpgraderNotifyEvent OnLaterUpgrade;
    TUpgraderProgressEvent OnProgress;
    TUpgraderFileStartEvent OnFileStart;
    TUpgraderFileDoneEvent OnFileDone;
    TUpgraderNotifyEvent OnDoOwnCloseAppMethod;
    TUpgraderNotifyEvent OnAfterRestart;
    TUpgraderNotifyEvent OnAborted;
    TUpgraderNotifyEvent OnConnLost;
    TUpgraderHostUnreachableEvent OnHostUnreachable;
    TUpgraderNotifyEvent OnNoUpdateAvailable;
    TUpgraderNotifyEvent OnNoInfoFile;
    // ErrorCode is the HTTP status, or 0 when the address names no file or
    // the file could not be written in the program's directory.
    TUpgraderLostFileEvent OnLostFile;
    TUpgraderPasswordRequestEvent OnPasswordRequest;
    // A signed update refused: the information file (FileURL is the
    // information file's address) or a download (the file's address).
    // Nothing of the update is kept or started.
    TUpgraderVerifyFailedEvent OnVerifyFailed;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ApplyTimerRule();
    void TimerTick();
    void HookTransfer();
    // Queues `step` for the component's window: it runs once the transfer's
    // worker has returned, so no worker waits while the user thinks.
    void Post(std::function<void()> step);
    void RunPostedStep();

    // The handlers of the transfer's events, by stage.
    void FileHeaderInfo(uint32_t contentLength, DateTime lastModified, bool& continueDownload);
    void FileProgress(uint32_t fileSize, uint32_t bytesRead, uint32_t elapsedTime, int32_t estimatedTimeLeft,
                      uint8_t percentsDone, float transferRate);
    void FileDone();
    void FileInterrupted();
    void NoInfoFile();
    void ConnLost();
    void HostUnreachable();
    void PasswordRequest(const std::wstring& realm, bool& tryAgain);

    // The file as the user knows it: the name it is kept under, without an
    // address's query.
    std::wstring ShownFileName() const;
    void ReadInformation(const std::string& file);
    void StartDownloads();
    void FetchFile();
    void NextFile();
    // Fires OnLostFile and asks when the settings say so; aborts unless
    // the upgrade goes on with the next file.
    bool ReportLostFile(int32_t errorCode);
    void LostFile(int32_t errorCode);
    void FinishDownloads();
    void Stop();
    void StartSelfUpgrade(const std::wstring& argument);
    static void DeleteDownloadedFiles(const std::wstring& directory);

    // The signed mode (upgrade_verify.cpp). The entries of a verified
    // information file, or the reason it is refused.
    std::optional<VerifyReason> VerifyInformation(const std::string& file, std::string_view& entries);
    void InformationRejected(VerifyReason reason);
    // Arms the check of the download about to start, when there is one.
    void ExpectFile();
    std::optional<VerifyReason> FileVerdict();
    void DownloadRejected(VerifyReason reason);
    bool Signed() const noexcept { return publicKey_ != nullptr; }
    void SelfUpgradeFailed(const win::Error& error);

    std::unique_ptr<TauAutoUpgraderInfo> infoFile_;
    std::unique_ptr<TauAutoUpgraderWizard> wizard_;
    std::unique_ptr<TauUpgradeDialogs> dialogs_;
    std::unique_ptr<win::EcdsaP256PublicKey> publicKey_;
    std::wstring publicKeyText_;
    // Per queued file, what the verified information file declares.
    std::vector<FileDigest> declared_;
    // Fed by the worker as the current file arrives, read once it has gone.
    std::unique_ptr<win::Sha256> fileHash_;
    DownloadAllowance allowance_;
    HWND window_ = nullptr;
    bool aborted_ = false;
    std::wstring applicationTitle_;
    bool autoCheck_ = false;
    bool autoCheckDone_ = false;
    bool isAutoCheck_ = false;
    UpgradeStage stage_ = UpgradeStage::kIdle;
    std::deque<std::function<void()>> steps_;
    TacUpgradeMethod updateMethod_ = umSelfUpgrade;
    std::vector<std::wstring> downloadQueue_;
    std::wstring currentFileName_;
    DateTime currentFileTime_ = 0;
    int32_t currentFileIndex_ = 0;
    bool hasUpgraded_ = false;
    bool inUpgrade_ = false;
    bool restarting_ = false;
    std::wstring remoteVersionNumber_;
    bool forceUpgrade_ = false;
    std::wstring infoFileURL_ = L"http://";
    std::wstring restartParams_ = kDefaultRestartParams;
    TacMiscFilesUpgradeBehavior miscFilesUpgrade_ = mfuAlwaysDownload;
    TauAutoUpgraderVersionControl versionControl_ = byDate;
    std::wstring versionDate_;
    bool versionDateAutoSet_ = true;
    std::wstring versionNumber_;
    TauAutoUpgraderShowMessages showMessages_ = kDefaultShowMessages;
};

} // namespace au
