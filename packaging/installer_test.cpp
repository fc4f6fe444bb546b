// Runs the setup program package.sh made as an administrator would, silently,
// and checks what it left: the files under Program Files, the entry in the
// list of installed programs, the Start-menu shortcut, a program that starts;
// then the silent uninstall, and an install over an installed copy.
// QUILLET_SETUP names the setup program; the version it must install is the
// one its own version block carries (package.sh's test checks that against
// the build).
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "net/testing/test_server.h"
#include "testing/uiprobe.h"
#include "win/handles.h"
#include "win/process.h"
#include "win/registry.h"
#include "win/strings.h"
#include "win/version.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillet";
constexpr wchar_t kYrwxlsServerKey[] = L"CLSID\\{3F166327-8030-4881-8BD2-EA25350E574A}\\InprocServer32";
const wchar_t* const kInstalledFiles[] = {L"quillet.exe", L"YRWXls.ocx", L"CellWeb5.ocx", L"uninstall.exe"};

std::wstring Env(const wchar_t* name) {
    const wchar_t* v = _wgetenv(name);
    return v ? v : L"";
}

fs::path KnownFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// The entry in the list of installed programs; no key is open when it is missing.
win::Registry UninstallEntry() {
    win::Registry reg(HKEY_LOCAL_MACHINE, KEY_READ);
    reg.TryOpenKey(kUninstallKey, false);
    return reg;
}

std::optional<std::wstring> UninstallString(const std::wstring& name) { return UninstallEntry().TryReadString(name); }

bool UninstallEntryExists() { return UninstallEntry().HasOpenKey(); }

std::optional<std::wstring> RegisteredYrwxlsServer() {
    win::Registry reg(HKEY_CLASSES_ROOT, KEY_READ);
    if (!reg.TryOpenKey(kYrwxlsServerKey, false)) return std::nullopt;
    return reg.TryReadString(L"");
}

struct Shortcut {
    std::wstring target;
    std::wstring description;
};

// What a shortcut points at and says, read as the shell reads it.
Shortcut ReadShortcut(const fs::path& lnk) {
    win::ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(link.put()))))
        return {};
    win::ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()))) ||
        FAILED(file->Load(lnk.c_str(), STGM_READ)))
        return {};
    wchar_t target[MAX_PATH] = {};
    wchar_t description[INFOTIPSIZE] = {};
    link->GetPath(target, MAX_PATH, nullptr, 0);
    link->GetDescription(description, INFOTIPSIZE);
    return {target, description};
}

// Runs a command line and waits for it; its exit code, or nullopt when it
// did not end within `limit`.
std::optional<DWORD> RunAndWait(const std::wstring& commandLine, std::chrono::milliseconds limit) {
    win::Process p = win::StartProcess(commandLine);
    if (!p.TryWait(limit)) {
        p.TryTerminate(1, 5s);
        return std::nullopt;
    }
    return p.TryExitCode();
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        uiprobe::Pause(200ms);
    }
    return true;
}

std::string ReadAll(const fs::path& p) { return au::testing::ReadFileBytes(p.wstring()); }

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        setup_ = Env(L"QUILLET_SETUP");
        const win::VersionInfo info = win::ReadVersionInfo(setup_);
        ASSERT_TRUE(info.hasFixedInfo) << "the setup program carries no version";
        version_ = info.FixedVersionText();
        ASSERT_FALSE(setup_.empty()) << "QUILLET_SETUP names no setup program";
        ASSERT_TRUE(fs::exists(setup_)) << win::ToUtf8(setup_);
        dir_ = KnownFolder(CSIDL_PROGRAM_FILES) / L"Quillet";
        shortcut_ = KnownFolder(CSIDL_COMMON_PROGRAMS) / L"Quillet.lnk";
        RemoveAnyInstallation();
    }
    void TearDown() override {
        RemoveAnyInstallation();
        ::CoUninitialize();
    }

    void RemoveAnyInstallation() {
        if (fs::exists(dir_ / L"uninstall.exe")) Uninstall();
        std::error_code ec;
        fs::remove_all(dir_, ec);
        fs::remove(shortcut_, ec);
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
    }

    void Install() {
        auto rc = RunAndWait(L"\"" + setup_ + L"\" /S", 180s);
        ASSERT_TRUE(rc.has_value()) << "the silent install did not end within 180 s";
        ASSERT_EQ(*rc, 0u) << "the silent install failed";
    }

    // The uninstaller hands over to a copy of itself in the temporary
    // directory and returns at once, so the test waits for its work as a
    // user watching the folder would.
    void Uninstall() {
        auto rc = RunAndWait(L"\"" + (dir_ / L"uninstall.exe").wstring() + L"\" /S", 60s);
        ASSERT_TRUE(rc.has_value()) << "the uninstaller did not return";
        EXPECT_EQ(*rc, 0u);
        EXPECT_TRUE(Eventually([&] { return !UninstallEntryExists() && !fs::exists(dir_ / L"uninstall.exe"); }, 60s))
            << "the silent uninstall did not finish within 60 s";
    }

    std::wstring setup_, version_;
    fs::path dir_, shortcut_;
};

TEST_F(Installer, SilentInstallPutsTheFilesTheEntryAndTheShortcutInPlace) {
    Install();
    for (const wchar_t* f : kInstalledFiles) EXPECT_TRUE(fs::is_regular_file(dir_ / f)) << win::ToUtf8(f);

    EXPECT_EQ(UninstallString(L"DisplayName"), L"Quillet");
    EXPECT_EQ(UninstallString(L"DisplayVersion"), version_);
    EXPECT_EQ(UninstallString(L"Publisher"), L"Quillet");
    EXPECT_EQ(UninstallString(L"InstallLocation"), dir_.wstring());
    EXPECT_EQ(UninstallString(L"UninstallString"), L"\"" + (dir_ / L"uninstall.exe").wstring() + L"\"");
    EXPECT_EQ(UninstallString(L"QuietUninstallString"), L"\"" + (dir_ / L"uninstall.exe").wstring() + L"\" /S");
    // Kilobytes of what was installed: about the size of the program folder.
    uintmax_t bytes = 0;
    for (const wchar_t* f : kInstalledFiles) bytes += fs::file_size(dir_ / f);
    auto kb = UninstallEntry().TryReadDword(L"EstimatedSize");
    ASSERT_TRUE(kb.has_value());
    EXPECT_GE(*kb, bytes / 1024);
    EXPECT_LE(*kb, bytes / 1024 + 8);

    ASSERT_TRUE(fs::exists(shortcut_)) << win::ToUtf8(shortcut_.wstring());
    const Shortcut link = ReadShortcut(shortcut_);
    EXPECT_EQ(fs::path(link.target), dir_ / L"quillet.exe");
    // The installer speaks the system's language: Chinese on this prefix.
    EXPECT_EQ(link.description, L"一键修复网上申报客户端的浏览器设置");
}

TEST_F(Installer, InstalledProgramStartsAndShowsItsMainWindow) {
    Install();
    uiprobe::Program quillet((dir_ / L"quillet.exe").wstring(), L"", dir_.wstring());
    HWND main = uiprobe::WaitForWindow(quillet.Pid(), L"", L"Quillet（仅修复）(" + version_ + L")", 60s);
    ASSERT_NE(main, nullptr) << "the installed quillet.exe showed no main window";
    EXPECT_NE(uiprobe::FindChild(main, L"Button", L"一键修复"), nullptr);
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(quillet.WaitExit(30s)) << "the installed quillet.exe did not close";
}

TEST_F(Installer, SilentUninstallRemovesWhatItInstalledAndKeepsTheUsersFiles) {
    Install();
    // What the program and its user leave beside it: a day's log and a report.
    fs::create_directories(dir_ / L"logs");
    std::ofstream(dir_ / L"logs" / L"2026-12-09.log") << "[info ] 2026-12-09 10:00:00.000 started\r\n";
    std::ofstream(dir_ / L"log4me.ini") << "[log4me]\r\npath=logs\r\nlevel=info\r\n";
    std::ofstream(dir_ / L"report.pdf") << "%PDF-1.4 a saved report";
    // The repair registers the control from the program's folder.
    auto reg = RunAndWait(L"regsvr32.exe /s \"" + (dir_ / L"YRWXls.ocx").wstring() + L"\"", 60s);
    ASSERT_EQ(reg, 0u);
    ASSERT_EQ(RegisteredYrwxlsServer().value_or(L""), (dir_ / L"YRWXls.ocx").wstring());

    Uninstall();
    for (const wchar_t* f : kInstalledFiles) EXPECT_FALSE(fs::exists(dir_ / f)) << win::ToUtf8(f);
    EXPECT_FALSE(UninstallEntryExists());
    EXPECT_FALSE(fs::exists(shortcut_));
    EXPECT_FALSE(RegisteredYrwxlsServer().has_value()) << "the control's registration outlived its file";
    EXPECT_EQ(ReadAll(dir_ / L"report.pdf"), "%PDF-1.4 a saved report");
    EXPECT_TRUE(fs::exists(dir_ / L"logs" / L"2026-12-09.log"));
    EXPECT_TRUE(fs::exists(dir_ / L"log4me.ini"));
}

TEST_F(Installer, UninstallLeavesAControlRegisteredFromElsewhere) {
    Install();
    // Another copy of the control, registered after ours: the filing client's.
    const fs::path other = fs::temp_directory_path() / L"quillet-other-control";
    fs::create_directories(other);
    fs::copy_file(dir_ / L"YRWXls.ocx", other / L"YRWXls.ocx", fs::copy_options::overwrite_existing);
    ASSERT_EQ(RunAndWait(L"regsvr32.exe /s \"" + (other / L"YRWXls.ocx").wstring() + L"\"", 60s), 0u);

    Uninstall();
    EXPECT_EQ(RegisteredYrwxlsServer().value_or(L""), (other / L"YRWXls.ocx").wstring());
    RunAndWait(L"regsvr32.exe /u /s \"" + (other / L"YRWXls.ocx").wstring() + L"\"", 60s);
    std::error_code ec;
    fs::remove_all(other, ec);
}

TEST_F(Installer, InstallAndUninstallLeaveARunningProgramAlone) {
    Install();
    const std::string shipped = ReadAll(dir_ / L"quillet.exe");
    uiprobe::Program quillet((dir_ / L"quillet.exe").wstring(), L"", dir_.wstring());
    HWND main = uiprobe::WaitForWindow(quillet.Pid(), L"", L"Quillet（仅修复）(" + version_ + L")", 60s);
    ASSERT_NE(main, nullptr);

    // Silently nobody can close it: both end with an error and change nothing.
    auto install = RunAndWait(L"\"" + setup_ + L"\" /S", 120s);
    ASSERT_TRUE(install.has_value());
    EXPECT_NE(*install, 0u) << "the install went on over a running program";
    // In place (_?=) the uninstaller runs itself and reports its own outcome.
    auto uninstall = RunAndWait(L"\"" + (dir_ / L"uninstall.exe").wstring() + L"\" /S _?=" + dir_.wstring(), 120s);
    ASSERT_TRUE(uninstall.has_value());
    EXPECT_NE(*uninstall, 0u) << "the uninstall went on while the program ran";
    EXPECT_EQ(ReadAll(dir_ / L"quillet.exe"), shipped);
    for (const wchar_t* f : kInstalledFiles) EXPECT_TRUE(fs::exists(dir_ / f)) << win::ToUtf8(f);
    EXPECT_TRUE(UninstallEntryExists());
    EXPECT_TRUE(::IsWindow(main));

    ::PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(quillet.WaitExit(30s));
    Install();
    EXPECT_EQ(UninstallString(L"DisplayVersion"), version_);
}

TEST_F(Installer, InstallOverAnInstalledCopyUpgradesItInPlace) {
    Install();
    const std::string shipped = ReadAll(dir_ / L"quillet.exe");
    // An older program in place, and the user's settings beside it.
    std::ofstream(dir_ / L"quillet.exe", std::ios::binary | std::ios::trunc) << "an older quillet";
    std::ofstream(dir_ / L"config.ini") << "[reportType]\r\nA01=增值税\r\n";

    Install();
    EXPECT_EQ(ReadAll(dir_ / L"quillet.exe"), shipped) << "the second install did not replace the program";
    EXPECT_TRUE(fs::exists(dir_ / L"config.ini"));
    EXPECT_EQ(UninstallString(L"DisplayVersion"), version_);
    EXPECT_EQ(UninstallString(L"InstallLocation"), dir_.wstring());
    EXPECT_TRUE(fs::exists(shortcut_));

    Uninstall();
    EXPECT_FALSE(UninstallEntryExists());
    EXPECT_FALSE(fs::exists(dir_ / L"quillet.exe"));
}

} // namespace
