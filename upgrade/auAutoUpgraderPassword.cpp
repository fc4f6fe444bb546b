#include "upgrade/auAutoUpgraderPassword.h"

#include <algorithm>

#include "upgrade/languages.h"
#include "upgrade/upgrade_pictures.h"
#include "upgrade/upgrade_texts.h"

namespace au {
namespace {

constexpr int kTextLeft = 45, kTextTop = 5, kIcon = 32;

struct Place {
    int x, y, w, h;
};
// Within the bottom panel.
constexpr Place kUsernameLab{10, 10, 80, 14}, kUsernameEdit{96, 6, 190, 21}, kPasswordLab{10, 38, 80, 14},
    kPasswordEdit{96, 34, 190, 21}, kOKBtn{130, 66, 75, 25}, kCancelBtn{211, 66, 75, 25};

void Move(win::Control& control, const Place& place, int top) {
    ::SetWindowPos(control.Handle(), nullptr, place.x, top + place.y, place.w, place.h,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

TauAutoUpgraderPasswordForm::TauAutoUpgraderPasswordForm() {
    win::FormStyle style{L"", kWidth, kDesignHeight};
    style.fontName = L"MS Sans Serif";
    style.fontHeight = -11;
    style.centerOnScreen = true;
    style.dialogFrame = true;
    CreateWindowFor(style);
    Image1 = &AddPicture(6, kTextTop + 2, kIcon, kIcon);
    Image1->SetIcon(UpgradePasswordIcon());
    Label1 = &AddLabel(L"", kTextLeft, kTextTop, kWidth - kTextLeft - 8, kDesignHeight - kBottomPanelHeight - kTextTop);
    const int top = kDesignHeight - kBottomPanelHeight;
    UsernameLab = &AddLabel(L"", kUsernameLab.x, top + kUsernameLab.y, kUsernameLab.w, kUsernameLab.h);
    UsernameEdit = &AddEdit(kUsernameEdit.x, top + kUsernameEdit.y, kUsernameEdit.w, kUsernameEdit.h);
    PasswordLab = &AddLabel(L"", kPasswordLab.x, top + kPasswordLab.y, kPasswordLab.w, kPasswordLab.h);
    PasswordEdit = &AddEdit(kPasswordEdit.x, top + kPasswordEdit.y, kPasswordEdit.w, kPasswordEdit.h, true);
    OKBtn = &AddButton(L"", kOKBtn.x, top + kOKBtn.y, kOKBtn.w, kOKBtn.h);
    CancelBtn = &AddButton(L"", kCancelBtn.x, top + kCancelBtn.y, kCancelBtn.w, kCancelBtn.h);
    OKBtn->SetModalResult(IDOK);
    CancelBtn->SetModalResult(IDCANCEL);
    SetDefaultButton(*OKBtn);
    SetCancelButton(*CancelBtn);
    OnShow = [this](win::Form&) { ::SetFocus(UsernameEdit->Handle()); };
}

void TauAutoUpgraderPasswordForm::PlaceBottomPanel(int top) {
    Move(*UsernameLab, kUsernameLab, top);
    Move(*UsernameEdit, kUsernameEdit, top);
    Move(*PasswordLab, kPasswordLab, top);
    Move(*PasswordEdit, kPasswordEdit, top);
    Move(*OKBtn, kOKBtn, top);
    Move(*CancelBtn, kCancelBtn, top);
}

bool TauAutoUpgraderPasswordForm::Ask(TauAutoUpgraderLanguage language, const std::wstring& fileName,
                                      std::wstring& userName, std::wstring& password) {
    Label1->SetText(FillPlaceholders(UpgradeText(language, kTextPasswordProtected), {fileName}));
    SetCaption(UpgradeText(language, kTextEnterPassword));
    UsernameLab->SetText(UpgradeText(language, kTextUserName));
    UsernameEdit->SetText(userName);
    PasswordLab->SetText(UpgradeText(language, kTextPassword));
    OKBtn->SetText(UpgradeText(language, kTextOK));
    CancelBtn->SetText(UpgradeText(language, kTextCancel));

    // The text wraps to its own height; the panel follows it, and never
    // climbs over the icon beside a short text.
    const int textHeight = Label1->TextHeight();
    ::SetWindowPos(Label1->Handle(), nullptr, 0, 0, kWidth - kTextLeft - 8, textHeight,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const int top = std::max(kTextTop + textHeight, kTextTop + 2 + kIcon) + 4;
    PlaceBottomPanel(top);
    SetClientSize(kWidth, top + kBottomPanelHeight);

    OKBtn->OnClick = [&](win::Button&) {
        userName = UsernameEdit->Text();
        password = PasswordEdit->Text();
    };
    const bool confirmed = ShowModal(::GetActiveWindow()) == IDOK;
    OKBtn->OnClick = nullptr;
    return confirmed;
}

} // namespace au
