// The user's side of an upgrade: the question, the download wizard, the
// password window and the message boxes. The component talks to the user
// only through this, so its built-in windows and a test's script of answers
// are interchangeable. Every call comes on the window thread.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "upgrade/text_ids.h"

namespace au {

class TauAutoUpgrader;

class TauUpgradeDialogs {
public:
    virtual ~TauUpgradeDialogs() = default;

    // True when the user accepts the update.
    virtual bool AskUpgrade(TauAutoUpgrader& sender, const std::wstring& title, const std::wstring& localVersion,
                            const std::wstring& remoteVersion, const std::wstring& message) = 0;

    // Shows the download wizard without waiting for it.
    virtual void ShowWizard(TauAutoUpgrader& sender) = 0;
    // Whether the wizard's window is still there.
    virtual bool WizardShowing() const = 0;
    // The file being fetched: its address, its place (from 1) and the count.
    virtual void WizardFile(const std::wstring& url, int number, int count) = 0;
    virtual void WizardFileSize(uint32_t contentLength) = 0;
    virtual void WizardProgress(uint8_t percentsDone, uint8_t totalPercentsDone, float transferRate,
                                int32_t estimatedTimeLeft) = 0;
    // All files are there: the wizard waits for the user's OK.
    virtual void WizardFinished(TauAutoUpgrader& sender) = 0;
    // The question and the wizard go away, as the component stops.
    virtual void DestroyWindows() = 0;

    // True when the user confirmed; the entered names are then the
    // component's login pair.
    virtual bool AskPassword(TauAutoUpgrader& sender, const std::wstring& fileName) = 0;

    // An error box with text `textIndex` (a TextId) of the language table, its
    // placeholder filled with `argument`.
    virtual void ShowError(TauAutoUpgrader& sender, int textIndex, const std::wstring& argument) = 0;
    // An error box with the platform's text of a failure, under the
    // component's error caption (kTextUpdateWizard).
    virtual void ShowSystemError(TauAutoUpgrader& sender, const std::wstring& message) = 0;
    // The lost-file question; true to skip the file and go on.
    virtual bool AskSkipLostFile(TauAutoUpgrader& sender, const std::wstring& fileName, int32_t errorCode) = 0;
};

// The component's own windows and message boxes, in its wizard's language.
std::unique_ptr<TauUpgradeDialogs> MakeBuiltInUpgradeDialogs();

} // namespace au
