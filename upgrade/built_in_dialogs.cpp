// The component's own conversation with the user: message boxes in the
// wizard's language.
#include <windows.h>

#include "upgrade/auAutoUpgrader.h"
#include "upgrade/languages.h"
#include "upgrade/upgrade_texts.h"

namespace au {
namespace {

class BuiltInDialogs : public TauUpgradeDialogs {
public:
    bool AskUpgrade(TauAutoUpgrader& sender, const std::wstring& title, const std::wstring&, const std::wstring&,
                    const std::wstring& message) override {
        const auto language = sender.Wizard().ResolvedLanguage();
        const std::wstring text = FillPlaceholders(UpgradeText(language, 23), {title, message});
        return ::MessageBoxW(::GetActiveWindow(), text.c_str(), UpgradeText(language, 0).c_str(),
                             MB_YESNO | MB_ICONQUESTION) == IDYES;
    }
    void ShowWizard(TauAutoUpgrader&) override {}
    bool WizardShowing() const override { return false; }
    void WizardFile(const std::wstring&, int, int) override {}
    void WizardFileSize(uint32_t) override {}
    void WizardProgress(uint8_t, uint8_t, float, int32_t) override {}
    void WizardFinished(TauAutoUpgrader&) override {}
    void DestroyWindows() override {}
    bool AskPassword(TauAutoUpgrader&, const std::wstring&) override { return false; }

    void ShowError(TauAutoUpgrader& sender, int textIndex, const std::wstring& argument) override {
        const auto language = sender.Wizard().ResolvedLanguage();
        const std::wstring text = FillPlaceholders(UpgradeText(language, textIndex), {argument});
        ::MessageBoxW(::GetActiveWindow(), text.c_str(), UpgradeText(language, 0).c_str(), MB_OK | MB_ICONERROR);
    }

    bool AskSkipLostFile(TauAutoUpgrader& sender, const std::wstring& fileName, int32_t errorCode) override {
        const auto language = sender.Wizard().ResolvedLanguage();
        const std::wstring text = FillPlaceholders(UpgradeText(language, 28), {fileName});
        const std::wstring caption = UpgradeText(language, 21) + L" #" + std::to_wstring(errorCode);
        return ::MessageBoxW(::GetActiveWindow(), text.c_str(), caption.c_str(), MB_YESNO | MB_ICONEXCLAMATION) ==
               IDYES;
    }
};

} // namespace

std::unique_ptr<TauUpgradeDialogs> MakeBuiltInUpgradeDialogs() { return std::make_unique<BuiltInDialogs>(); }

} // namespace au
