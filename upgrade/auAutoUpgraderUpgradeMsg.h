// The upgrade question: both versions, the release notes and Yes or Later.
#pragma once
#include <string>

#include "upgrade/upgrade_types.h"
#include "win/window.h"

namespace au {

class TauAutoUpgraderUpgradeMessageForm : public win::Form {
public:
    TauAutoUpgraderUpgradeMessageForm();

    // Fills the window from the language's texts and shows it modally;
    // true exactly when the user chose Yes.
    bool Ask(TauAutoUpgraderLanguage language, const std::wstring& title, const std::wstring& localVersion,
             const std::wstring& remoteVersion, const std::wstring& message);

    win::Label* lblLocalVersion = nullptr;
    win::Label* lblRemoteVersion = nullptr;
    win::Memo* MemMsg = nullptr;
    win::Label* LabelQuery = nullptr;
    win::Button* YesBtn = nullptr;
    win::Button* LaterBtn = nullptr;
    win::Label* Label1 = nullptr;
};

// Line breaks of any kind as the edit control shows them: CR LF.
std::wstring WithWindowsLineBreaks(const std::wstring& text);

} // namespace au
