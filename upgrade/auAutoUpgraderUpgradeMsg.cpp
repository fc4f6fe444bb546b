#include "upgrade/auAutoUpgraderUpgradeMsg.h"

#include "upgrade/upgrade_pictures.h"
#include "upgrade/upgrade_texts.h"

namespace au {
namespace {

constexpr int kWidth = 680, kHeight = 457, kBorder = 8;
constexpr int kStrip = 33, kColumn = 139, kBottom = 74;
constexpr COLORREF kVersionGreen = RGB(0, 128, 0);
constexpr wchar_t kMaker[] = L"Vortan（免费热线：400-000-0000）";

} // namespace

std::wstring WithWindowsLineBreaks(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') {
            out += L"\r\n";
            if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        } else if (text[i] == L'\n') {
            out += L"\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

TauAutoUpgraderUpgradeMessageForm::TauAutoUpgraderUpgradeMessageForm() {
    win::FormStyle style{L"", kWidth, kHeight, /*whiteBackground=*/true};
    style.fontName = L"SimSun";
    style.fontHeight = -12;
    style.fontCharset = GB2312_CHARSET;
    style.centerOnScreen = true;
    style.dialogFrame = true;
    CreateWindowFor(style);

    // The strip along the top: logo and both versions, a line below.
    const int stripY = kBorder;
    AddPicture(kBorder, stripY + 8, 72, 17).SetBitmap(UpgradePicture(UpgradePictureId::Logo));
    AddLabel(L"您的本机版本为：", 96, stripY + 10, 100, 14);
    lblLocalVersion = &AddLabel(L"", 196, stripY + 10, 140, 14);
    AddLabel(L"请升级到：", 356, stripY + 10, 64, 14);
    lblRemoteVersion = &AddLabel(L"", 420, stripY + 10, 200, 14);
    lblLocalVersion->SetColor(kVersionGreen);
    lblRemoteVersion->SetColor(kVersionGreen);
    AddPicture(kBorder, stripY + kStrip - 1, kWidth - 2 * kBorder, 1).SetFill(RGB(192, 192, 192));

    // The side picture's column and the release notes beside it.
    const int middleTop = stripY + kStrip, middleBottom = kHeight - kBorder - kBottom;
    AddPicture(kBorder + (kColumn - 100) / 2, middleTop + 12, 100, 239)
        .SetBitmap(UpgradePicture(UpgradePictureId::Side));
    const int groupX = kBorder + kColumn, groupW = kWidth - kBorder - groupX;
    AddGroupBox(L"版本修改历史记录", groupX, middleTop + 4, groupW, middleBottom - middleTop - 8);
    MemMsg = &AddMemo(groupX + 10, middleTop + 24, groupW - 20, middleBottom - middleTop - 40, /*readOnly=*/true,
                      /*border=*/false);

    // The question and the answers.
    const int bottomY = middleBottom;
    LabelQuery = &AddLabel(L"是否确定要升级？", kBorder, bottomY + 6, kWidth - 2 * kBorder, 16, SS_CENTER, true);
    YesBtn = &AddButton(L"", kWidth / 2 - 100, bottomY + 28, 92, 26);
    LaterBtn = &AddButton(L"", kWidth / 2 + 8, bottomY + 28, 92, 26);
    YesBtn->SetModalResult(IDYES);
    LaterBtn->SetModalResult(IDNO);
    SetDefaultButton(*YesBtn);
    SetCancelButton(*LaterBtn);
    Label1 = &AddLabel(kMaker, kBorder, kHeight - kBorder - 14, 320, 14);

    // Above every other window, without taking the focus from where it is.
    OnShow = [this](win::Form&) { MakeTopMost(); };
}

bool TauAutoUpgraderUpgradeMessageForm::Ask(TauAutoUpgraderLanguage language, const std::wstring& title,
                                            const std::wstring& localVersion, const std::wstring& remoteVersion,
                                            const std::wstring& message) {
    SetCaption(title + L"升级");
    lblRemoteVersion->SetText(remoteVersion + L"版");
    lblLocalVersion->SetText(localVersion + L"版");
    MemMsg->SetText(WithWindowsLineBreaks(message));
    YesBtn->SetText(UpgradeText(language, kTextYes));
    LaterBtn->SetText(UpgradeText(language, kTextLater));
    return ShowModal(::GetActiveWindow()) == IDYES;
}

} // namespace au
