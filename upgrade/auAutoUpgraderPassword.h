// The password window: user name and password for a protected download.
#pragma once
#include <string>

#include "upgrade/upgrade_types.h"
#include "win/window.h"

namespace au {

class TauAutoUpgraderPasswordForm : public win::Form {
public:
    TauAutoUpgraderPasswordForm();

    // Shows the window modally for `fileName`, the name field holding
    // `userName`; true when the user confirmed with OK, the fields then in
    // `userName` and `password`.
    bool Ask(TauAutoUpgraderLanguage language, const std::wstring& fileName, std::wstring& userName,
             std::wstring& password);

    win::Label* Label1 = nullptr;
    win::Picture* Image1 = nullptr;
    win::Label* UsernameLab = nullptr;
    win::Edit* UsernameEdit = nullptr;
    win::Label* PasswordLab = nullptr;
    win::Edit* PasswordEdit = nullptr;
    win::Button* OKBtn = nullptr;
    win::Button* CancelBtn = nullptr;

    static constexpr int kWidth = 297, kDesignHeight = 141, kBottomPanelHeight = 98;

private:
    // The fields and buttons keep their places within the bottom panel,
    // which sits right below the text.
    void PlaceBottomPanel(int top);
};

} // namespace au
