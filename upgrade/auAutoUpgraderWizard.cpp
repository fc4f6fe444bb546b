#include "upgrade/auAutoUpgraderWizard.h"

#include "upgrade/languages.h"
#include "upgrade/upgrade_pictures.h"
#include "upgrade/upgrade_texts.h"

namespace au {
namespace {

constexpr wchar_t kCaption[] = L"系统升级";

} // namespace

TauAutoUpgraderWizardForm::TauAutoUpgraderWizardForm(TauAutoUpgraderLanguage language,
                                                     std::wstring applicationTitle,
                                                     std::function<void()> abortUpgrade)
    : language_(language), applicationTitle_(std::move(applicationTitle)), abortUpgrade_(std::move(abortUpgrade)) {
    win::FormStyle style{kCaption, 500, 315, /*whiteBackground=*/true};
    style.fontName = L"SimSun";
    style.fontHeight = -12;
    style.fontCharset = GB2312_CHARSET;
    style.dialogFrame = true;
    CreateWindowFor(style);

    Image1 = &AddPicture(25, 9, 100, 239);
    Image1->SetBitmap(UpgradePicture(UpgradePictureId::Side));
    WizardTitle = &AddLabel(L"", 272, 11, 218, 16, 0, /*bold=*/true);
    // The controls of a group box are its siblings here, placed within it.
    LCurrentFile = &AddGroupBox(L"", 148, 32, 319, 125);
    LDownloadingFileFrom = &AddLabel(L"", 148 + 14, 32 + 19, 290, 14);
    FileURL = &AddLabel(L"", 148 + 13, 32 + 37, 293, 17, SS_PATHELLIPSIS | SS_SUNKEN | SS_CENTERIMAGE);
    FileSizeLab = &AddLabel(L"", 148 + 12, 32 + 61, 140, 14);
    TransferRateLab = &AddLabel(L"", 148 + 12, 32 + 78, 140, 14);
    EstimatedTimeLeftLab = &AddLabel(L"", 148 + 152, 32 + 78, 160, 14);
    ProgressCurrentFile = &AddProgressBar(148 + 6, 32 + 96, 307, 22);
    LAllFiles = &AddGroupBox(L"", 148, 170, 319, 67);
    AllDownloading = &AddLabel(L"", 148 + 12, 170 + 20, 290, 14);
    ProgressAllFiles = &AddProgressBar(148 + 6, 170 + 38, 307, 22);
    AfterNote = &AddLabel(L"", 191, 99, 238, 50);
    ::ShowWindow(AfterNote->Handle(), SW_HIDE);
    AddPicture(16, 253, 465, 2).SetFill(RGB(160, 160, 160));
    Label1 = &AddLabel(L"Vortan", 19, 271, 120, 14);
    AboutShadow = &AddLabel(kCaption, 162, 272, 100, 14);
    AboutLabel = &AddLabel(kCaption, 151, 270, 100, 14);
    ::ShowWindow(AboutShadow->Handle(), SW_HIDE);
    ::ShowWindow(AboutLabel->Handle(), SW_HIDE);
    FinishBtn = &AddButton(L"", 296, 264, 75, 25);
    CancelBtn = &AddButton(L"", 380, 264, 75, 25);
    FinishBtn->SetEnabled(false);
    SetDefaultButton(*CancelBtn);
    SetCancelButton(*CancelBtn);

    FinishBtn->OnClick = [this](win::Button&) {
        closingFinished_ = true;
        Close();
    };
    // The same question as the title bar's close button.
    CancelBtn->OnClick = [this](win::Button&) { ::PostMessageW(Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); };
    OnCloseQuery = [this](win::Form&, bool& canClose) { CloseQuery(canClose); };
}

std::wstring TauAutoUpgraderWizardForm::Text(TextId id) const { return UpgradeText(language_, id); }

void TauAutoUpgraderWizardForm::ShowDownloading(HBITMAP picture, bool stayOnTop) {
    AboutLabel->SetText(kCaption);
    AboutShadow->SetText(kCaption);
    if (picture) Image1->SetBitmap(picture);
    EstimatedTimeLeftLab->SetText(Text(kTextPreparing));
    SetCaption(kCaption);
    WizardTitle->SetText(Text(kTextDownloadingFiles));
    LCurrentFile->SetText(L" " + Text(kTextCurrentFile) + L" ");
    LAllFiles->SetText(L" " + Text(kTextAllFiles) + L" ");
    LDownloadingFileFrom->SetText(Text(kTextDownloadingFileFrom));
    FileSizeLab->SetText(FillPlaceholders(Text(kTextFileSize), {OneDecimal(0)}));
    TransferRateLab->SetText(FillPlaceholders(Text(kTextTransferRate), {OneDecimal(0)}));
    FinishBtn->SetText(Text(kTextNext));
    CancelBtn->SetText(Text(kTextCancel));
    CenterOnScreen();
    ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
    if (stayOnTop) MakeTopMost();
    ::UpdateWindow(Handle());
    win::Application::ProcessMessages();
}

void TauAutoUpgraderWizardForm::ShowFile(const std::wstring& url, int number, int count) {
    FileURL->SetText(url);
    AllDownloading->SetText(
        FillPlaceholders(Text(kTextDownloadingNumber), {std::to_wstring(number), std::to_wstring(count)}));
    ProgressCurrentFile->SetPosition(0);
    EstimatedTimeLeftLab->SetText(Text(kTextPreparing));
}

void TauAutoUpgraderWizardForm::ShowFileSize(uint32_t contentLength) {
    FileSizeLab->SetText(FillPlaceholders(Text(kTextFileSize), {OneDecimal(contentLength / 1024.0)}));
}

void TauAutoUpgraderWizardForm::ShowProgress(uint8_t percentsDone, uint8_t totalPercentsDone, float transferRate,
                                             int32_t estimatedTimeLeft) {
    ProgressCurrentFile->SetPosition(percentsDone);
    ProgressAllFiles->SetPosition(totalPercentsDone);
    TransferRateLab->SetText(FillPlaceholders(Text(kTextTransferRate), {OneDecimal(transferRate)}));
    // Without a known size there is no time left to tell.
    if (estimatedTimeLeft >= 0)
        EstimatedTimeLeftLab->SetText(FillPlaceholders(Text(kTextTimeLeft), TimeParts(estimatedTimeLeft)));
}

void TauAutoUpgraderWizardForm::ShowFinished() {
    WizardTitle->SetText(Text(kTextUpgradeCompleted));
    AfterNote->SetText(FillPlaceholders(Text(kTextRestartNote), {applicationTitle_}));
    RECT note;
    ::GetWindowRect(AfterNote->Handle(), &note);
    ::SetWindowPos(AfterNote->Handle(), nullptr, 0, 0, note.right - note.left, AfterNote->TextHeight(),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The groups and everything placed in them make way for the note.
    for (win::Control* c : {static_cast<win::Control*>(LCurrentFile), static_cast<win::Control*>(LDownloadingFileFrom),
                            static_cast<win::Control*>(FileURL), static_cast<win::Control*>(FileSizeLab),
                            static_cast<win::Control*>(TransferRateLab),
                            static_cast<win::Control*>(EstimatedTimeLeftLab),
                            static_cast<win::Control*>(ProgressCurrentFile), static_cast<win::Control*>(LAllFiles),
                            static_cast<win::Control*>(AllDownloading), static_cast<win::Control*>(ProgressAllFiles)})
        ::ShowWindow(c->Handle(), SW_HIDE);
    ::ShowWindow(AfterNote->Handle(), SW_SHOW);
    CancelBtn->SetEnabled(false);
    FinishBtn->SetText(Text(kTextOK));
    FinishBtn->SetEnabled(true);
    SetDefaultButton(*FinishBtn);
    ::SetForegroundWindow(Handle());
    FinishBtn->Focus();
}

bool TauAutoUpgraderWizardForm::Showing() const { return Handle() && ::IsWindow(Handle()); }

void TauAutoUpgraderWizardForm::CloseQuery(bool& canClose) {
    if (closingFinished_) return;
    canClose = ::MessageBoxW(Handle(), Text(kTextAbortQuestion).c_str(), applicationTitle_.c_str(),
                             MB_YESNO | MB_ICONQUESTION) == IDYES;
    // The upgrade is abandoned as the window closes.
    if (canClose && abortUpgrade_) {
        const auto abort = abortUpgrade_;
        OnClose = [abort](win::Form&) { abort(); };
    }
}

} // namespace au
