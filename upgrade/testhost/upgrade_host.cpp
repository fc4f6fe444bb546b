// A small program that upgrades itself as a user's program would: one window,
// one upgrade component pointed at the address in "upgrade_host.ini" beside
// it. Built twice, as version 1 and version 2, for the end-to-end test; it
// writes what happens to "host.log" beside it and closes when it is done.
#include <windows.h>

#include <memory>
#include <string>

#include "upgrade/auAutoUpgrader.h"
#include "win/handles.h"
#include "win/ini.h"
#include "win/process.h"
#include "win/strings.h"
#include "win/window.h"

#ifndef QUILLET_HOST_VERSION
#define QUILLET_HOST_VERSION L"1"
#endif

namespace {

void Log(const std::wstring& line) {
    const std::wstring path = win::ExeDir() + L"host.log";
    win::UniqueHFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_ALWAYS, 0, nullptr));
    const std::string bytes = win::ToUtf8(line + L"\r\n");
    DWORD written = 0;
    if (file) ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

class HostWindow : public win::Form {
public:
    HostWindow() {
        CreateWindowFor({std::wstring(L"Upgrade host ") + QUILLET_HOST_VERSION, 320, 120, true});
        const std::wstring ini = win::ExeDir() + L"upgrade_host.ini";
        upgrader_ = std::make_unique<au::TauAutoUpgrader>();
        au::TauAutoUpgrader& u = *upgrader_;
        u.SetApplicationTitle(L"Upgrade host");
        u.SetVersionControl(au::byNumber);
        u.SetVersionNumber(QUILLET_HOST_VERSION);
        u.SetInfoFileURL(win::ReadIniString(ini, L"upgrade", L"InfoFileURL", L"http://"));
        u.SetPublicKey(win::ReadIniString(ini, L"upgrade", L"PublicKey", L""));
        u.SetShowMessages({});
        u.Wizard().SetEnabled(false);
        u.OnAfterRestart = [this](au::TauAutoUpgrader*) {
            restarted_ = true;
            Log(L"AfterRestart|" QUILLET_HOST_VERSION L"|" + win::CommandLineArgument(1));
        };
        auto stopWith = [this](const wchar_t* what) {
            Log(std::wstring(what) + L"|" QUILLET_HOST_VERSION);
            Close();
        };
        u.OnNoUpdateAvailable = [=](au::TauAutoUpgrader*) { stopWith(L"NoUpdateAvailable"); };
        u.OnNoInfoFile = [=](au::TauAutoUpgrader*) { stopWith(L"NoInfoFile"); };
        u.OnHostUnreachable = [=](au::TauAutoUpgrader*, const std::wstring&, const std::wstring&) {
            stopWith(L"HostUnreachable");
        };
        u.OnConnLost = [=](au::TauAutoUpgrader*) { stopWith(L"ConnLost"); };
        u.OnVerifyFailed = [=](au::TauAutoUpgrader*, const std::wstring&, au::VerifyReason reason) {
            stopWith((L"VerifyFailed " + std::to_wstring(static_cast<int>(reason))).c_str());
        };
        u.OnAborted = [=](au::TauAutoUpgrader*) { stopWith(L"Aborted"); };
        u.OnFileDone = [](au::TauAutoUpgrader*, const std::wstring& name) {
            Log(L"FileDone|" QUILLET_HOST_VERSION L"|" + name);
        };
        u.OnEndUpgrade = [](au::TauAutoUpgrader*) { Log(L"EndUpgrade|" QUILLET_HOST_VERSION); };
        u.Loaded();
        const bool selfUpgradeLeft = ::GetFileAttributesW(au::TauAutoUpgrader::SelfUpgradePath().c_str()) !=
                                     INVALID_FILE_ATTRIBUTES;
        Log(L"Started|" QUILLET_HOST_VERSION L"|" + win::CommandLineArgument(1) + L"|" +
            (selfUpgradeLeft ? L"left" : L"none"));
        const bool check = win::ReadIniString(ini, L"upgrade", L"check", L"0") == L"1";
        SetTimer(1, 300, [this, check] {
            ::KillTimer(Handle(), 1);
            if (check && !restarted_) upgrader_->CheckUpdate();
            else Close();
        });
    }

private:
    std::unique_ptr<au::TauAutoUpgrader> upgrader_;
    bool restarted_ = false;
};

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    win::Application::Initialize(instance);
    HostWindow window;
    window.CenterOnScreen();
    const int code = win::Application::Run(window);
    Log(L"Closed|" QUILLET_HOST_VERSION);
    return code;
}
