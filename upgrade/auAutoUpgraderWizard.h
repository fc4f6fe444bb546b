// The download wizard: the file being fetched, its progress and that of all
// files, then the note that the update is complete and OK to restart.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "upgrade/text_ids.h"
#include "upgrade/upgrade_types.h"
#include "win/window.h"

namespace au {

class TauAutoUpgraderWizardForm : public win::Form {
public:
    // `abortUpgrade` runs when the user confirms abandoning the update.
    TauAutoUpgraderWizardForm(TauAutoUpgraderLanguage language, std::wstring applicationTitle,
                              std::function<void()> abortUpgrade);

    // Texts of the downloading stage; the side picture replaced when
    // `picture` is given; placed above all windows when `stayOnTop`.
    void ShowDownloading(HBITMAP picture, bool stayOnTop);
    void ShowFile(const std::wstring& url, int number, int count);
    void ShowFileSize(uint32_t contentLength);
    void ShowProgress(uint8_t percentsDone, uint8_t totalPercentsDone, float transferRate, int32_t estimatedTimeLeft);
    // All files are there: only OK is left, and it restarts the program.
    void ShowFinished();
    bool Showing() const;

    win::Picture* Image1 = nullptr;
    win::Label* WizardTitle = nullptr;
    win::Control* LCurrentFile = nullptr;
    win::Label* LDownloadingFileFrom = nullptr;
    win::Label* FileURL = nullptr;
    win::Label* FileSizeLab = nullptr;
    win::Label* TransferRateLab = nullptr;
    win::Label* EstimatedTimeLeftLab = nullptr;
    win::ProgressBar* ProgressCurrentFile = nullptr;
    win::Control* LAllFiles = nullptr;
    win::Label* AllDownloading = nullptr;
    win::ProgressBar* ProgressAllFiles = nullptr;
    win::Label* AfterNote = nullptr;
    win::Label* Label1 = nullptr;
    win::Label* AboutLabel = nullptr;
    win::Label* AboutShadow = nullptr;
    win::Button* FinishBtn = nullptr;
    win::Button* CancelBtn = nullptr;

private:
    std::wstring Text(TextId id) const;
    void CloseQuery(bool& canClose);

    TauAutoUpgraderLanguage language_;
    std::wstring applicationTitle_;
    std::function<void()> abortUpgrade_;
    bool closingFinished_ = false;
};

} // namespace au
