// The component's own conversation with the user: the question, the wizard
// and the password window, and message boxes, in the wizard's language.
#include <windows.h>

#include "upgrade/auAutoUpgrader.h"
#include "upgrade/auAutoUpgraderPassword.h"
#include "upgrade/auAutoUpgraderUpgradeMsg.h"
#include "upgrade/auAutoUpgraderWizard.h"
#include "upgrade/languages.h"
#include "upgrade/upgrade_texts.h"

namespace au {
namespace {

class BuiltInDialogs : public TauUpgradeDialogs {
public:
    bool AskUpgrade(TauAutoUpgrader& sender, const std::wstring& title, const std::wstring& localVersion,
                    const std::wstring& remoteVersion, const std::wstring& message) override {
        question_ = std::make_unique<TauAutoUpgraderUpgradeMessageForm>();
        const bool accepted =
            question_->Ask(sender.Wizard().ResolvedLanguage(), title, localVersion, remoteVersion, message);
        question_.reset();
        return accepted;
    }

    void ShowWizard(TauAutoUpgrader& sender) override {
        if (!WizardShowing()) {
            TauAutoUpgrader* engine = &sender;
            wizard_ = std::make_unique<TauAutoUpgraderWizardForm>(
                sender.Wizard().ResolvedLanguage(), sender.ApplicationTitle(), [engine] { engine->Abort(); });
        }
        wizard_->ShowDownloading(sender.Wizard().Pic118x218(), sender.Wizard().StayOnTop());
    }
    bool WizardShowing() const override { return wizard_ && wizard_->Showing(); }
    void WizardFile(const std::wstring& url, int number, int count) override {
        if (WizardShowing()) wizard_->ShowFile(url, number, count);
    }
    void WizardFileSize(uint32_t contentLength) override {
        if (WizardShowing()) wizard_->ShowFileSize(contentLength);
    }
    void WizardProgress(uint8_t percentsDone, uint8_t totalPercentsDone, float transferRate,
                        int32_t estimatedTimeLeft) override {
        if (WizardShowing()) wizard_->ShowProgress(percentsDone, totalPercentsDone, transferRate, estimatedTimeLeft);
    }
    void WizardFinished(TauAutoUpgrader&) override {
        if (WizardShowing()) wizard_->ShowFinished();
    }
    void DestroyWindows() override {
        // The objects stay until the next showing: this may run inside one of
        // their own handlers.
        if (WizardShowing()) ::DestroyWindow(wizard_->Handle());
        if (question_ && ::IsWindow(question_->Handle())) question_->Close();
    }

    bool AskPassword(TauAutoUpgrader& sender, const std::wstring& fileName) override {
        std::wstring user = sender.HTTPUsername(), password;
        TauAutoUpgraderPasswordForm form;
        if (!form.Ask(sender.Wizard().ResolvedLanguage(), fileName, user, password)) return false;
        sender.SetHTTPUsername(user);
        sender.SetHTTPPassword(password);
        return true;
    }

    void ShowError(TauAutoUpgrader& sender, int textIndex, const std::wstring& argument) override {
        const auto language = sender.Wizard().ResolvedLanguage();
        const std::wstring text = FillPlaceholders(UpgradeText(language, textIndex), {argument});
        ::MessageBoxW(Owner(), text.c_str(), UpgradeText(language, kTextUpdateWizard).c_str(), MB_OK | MB_ICONERROR);
    }

    void ShowSystemError(TauAutoUpgrader& sender, const std::wstring& message) override {
        const auto language = sender.Wizard().ResolvedLanguage();
        ::MessageBoxW(Owner(), message.c_str(), UpgradeText(language, kTextUpdateWizard).c_str(), MB_OK | MB_ICONERROR);
    }

    bool AskSkipLostFile(TauAutoUpgrader& sender, const std::wstring& fileName, int32_t errorCode) override {
        const auto language = sender.Wizard().ResolvedLanguage();
        const std::wstring text = FillPlaceholders(UpgradeText(language, kTextFileNotFound), {fileName});
        const std::wstring caption = UpgradeText(language, kTextError) + L" #" + std::to_wstring(errorCode);
        return ::MessageBoxW(Owner(), text.c_str(), caption.c_str(), MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
    }

private:
    // Message boxes stand over the wizard while it is there.
    HWND Owner() const { return WizardShowing() ? wizard_->Handle() : ::GetActiveWindow(); }

    std::unique_ptr<TauAutoUpgraderUpgradeMessageForm> question_;
    std::unique_ptr<TauAutoUpgraderWizardForm> wizard_;
};

} // namespace

std::unique_ptr<TauUpgradeDialogs> MakeBuiltInUpgradeDialogs() { return std::make_unique<BuiltInDialogs>(); }

} // namespace au
