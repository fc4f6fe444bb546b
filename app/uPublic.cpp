#include "uPublic.h"

#include <windows.h>

#include "log/log4me.h"
#include "repair_rules.h"
#include "win/error.h"
#include "win/process.h"
#include "win/registry.h"
#include "win/strings.h"
#include "win/window.h"

namespace {

// Logs the underlying error and replaces it with the text the user sees.
[[noreturn]] void RaiseRegistryFailure(const std::wstring& cause) {
    LogError(win::ToAnsi(std::wstring(repair::kRegistryFailure) + cause));
    throw win::Error(repair::kRegistryFailure);
}

} // namespace

bool EnableTrustedZoneActiveX(TLogLines& logs) {
    try {
        win::Registry reg(HKEY_CURRENT_USER, KEY_ALL_ACCESS);
        if (reg.TryOpenKey(repair::kZoneKey, true)) {
            for (const auto& action : repair::kZoneActions) {
                if (!reg.TryMatchDword(action.valueName, 0)) reg.WriteDword(action.valueName, 0);
                logs.Add(action.logLine);
            }
            reg.CloseKey();
        }
        return true;
    } catch (const std::exception& e) {
        RaiseRegistryFailure(win::MessageOf(e));
    }
}

std::wstring ClassifyHost(const std::wstring& entry) { return repair::ClassifyHost(entry); }

bool AddTrustedSite(const std::wstring& entry, int position) {
    try {
        win::Registry reg(HKEY_CURRENT_USER, KEY_ALL_ACCESS);
        if (ClassifyHost(entry) == L"IP") {
            if (reg.TryOpenKey(repair::RangeKeyPath(position), true)) {
                if (!reg.TryMatchString(L":Range", entry)) reg.WriteString(L":Range", entry);
                if (!reg.TryMatchDword(L"http", 2)) reg.WriteDword(L"http", 2);
                if (!reg.TryMatchDword(L"https", 2)) reg.WriteDword(L"https", 2);
                reg.CloseKey();
            }
        } else {
            // An entry that names no key of its own gets nothing written, as
            // when the key cannot be opened.
            const std::wstring path = repair::DomainKeyPath(repair::SplitHost(entry));
            if (!path.empty() && reg.TryOpenKey(path, true)) {
                if (!reg.TryMatchDword(L"http", 2)) reg.WriteDword(L"http", 2);
                if (!reg.TryMatchDword(L"https", 2)) reg.WriteDword(L"https", 2);
                reg.CloseKey();
            }
        }
        return true;
    } catch (const std::exception& e) {
        RaiseRegistryFailure(win::MessageOf(e));
    }
}

bool AddTrustedSites(TLogLines& logs, const std::wstring& sites) {
    int position = 0;
    for (const auto& entry : repair::SplitSiteList(sites)) {
        AddTrustedSite(entry, position++);
        logs.Add(repair::TrustedSiteLine(entry));
    }
    return true;
}

void RunCommandHidden(const std::wstring& commandLine, std::chrono::milliseconds limit) {
    // Callers look at the registry afterwards, not at how the command ended.
    win::RunHidden(commandLine, limit);
}

bool IsControlRegistered() {
    win::Registry reg(HKEY_CLASSES_ROOT, KEY_ALL_ACCESS);
    std::wstring path;
    if (reg.TryOpenKey(repair::kControlCheckKey, false)) path = reg.ReadString(L"");
    if (path.empty()) return false;
    DWORD attrs = ::GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool RegisterControls(TLogLines& logs) {
    try {
        wchar_t sysDir[100 + 1] = {};
        ::GetSystemDirectoryW(sysDir, 100);
        for (const auto& step : repair::RegistrationSteps(sysDir, win::ExeDir())) {
            RunCommandHidden(step.commandLine);
            if (!step.lineAfter.empty()) logs.Add(step.lineAfter);
        }
        bool registered = false;
        for (int check = 0; check < repair::kRegistrationChecks; ++check) {
            registered = IsControlRegistered();
            if (registered) break;
            ::Sleep(1000);
            win::Application::ProcessMessages();
        }
        logs.Add(registered ? repair::kRegisteredLine : repair::kNotRegisteredLine);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
