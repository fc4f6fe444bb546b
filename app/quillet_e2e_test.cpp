// Drives the real quillet.exe as a user would: find its window, click the
// repair button, answer the completion box, read what the window shows and
// check what the run wrote.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "repair_rules.h"
#include "testing/uiprobe.h"
#include "win/registry.h"
#include "win/strings.h"
#include "win/version.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr wchar_t kDoneText[] =
    L"尊敬的纳税人，已完成信任站点的安全设置，你可以使用IE浏览器进行登录。提示：在日常使用中，可能会由于人为或者其它"
    L"一些因素造成IE安全设置的改变而影响正常使用，您可以重新运行Quillet再次尝试。！";

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::wstring> ExpectedLines(bool registered) {
    std::vector<std::wstring> lines;
    for (const auto& a : repair::kZoneActions) lines.push_back(a.logLine);
    for (const auto& e : repair::SplitSiteList(repair::kTrustedSiteList)) lines.push_back(repair::TrustedSiteLine(e));
    for (const wchar_t* l : {L"注册YRWXls.ocx完毕", L"注册CellWeb5.ocx完毕", L"注册jscript.dll完毕", L"注册vbscript.dll完毕"})
        lines.push_back(l);
    lines.push_back(registered ? repair::kRegisteredLine : repair::kNotRegisteredLine);
    return lines;
}

// Text drawn in pure blue, smoothed or not; the selection highlight is not
// in the list before a click.
bool Bluish(BYTE r, BYTE g, BYTE b) { return b > 160 && r < 120 && g < 120; }

DWORD DwordOf(const std::wstring& key, const std::wstring& name) {
    DWORD v = 0xDEADBEEF, size = sizeof(v);
    ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &v, &size);
    return v;
}

std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class QuilletRun : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t tmp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, tmp);
        dir_ = fs::path(tmp) / L"quillet_e2e";
        fs::remove_all(dir_);
        fs::create_directories(dir_ / L"logs");
        for (const wchar_t* f : {L"quillet.exe", L"YRWXls.ocx", L"CellWeb5.ocx"})
            fs::copy_file(win::ExeDir() + f, dir_ / f);
        std::ofstream(dir_ / L"log4me.ini") << "[log4me]\r\npath=logs\r\nlevel=info\r\n";
        ::RegDeleteTreeW(HKEY_CURRENT_USER, repair::kZoneKey);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, repair::kDomainsKey);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, repair::kRangesKey);
    }
    void TearDown() override {
        program_.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::wstring ExpectedCaption() {
        auto versions = win::ReadVersionInfo((dir_ / L"quillet.exe").wstring());
        EXPECT_NE(versions.fileVersion, win::kValueNotAvailable);
        return L"Quillet（仅修复）(" + versions.fileVersion + L")";
    }

    HWND Start() {
        program_ = std::make_unique<uiprobe::Program>((dir_ / L"quillet.exe").wstring(), L"", dir_.wstring());
        HWND main = uiprobe::WaitForWindow(program_->Pid(), L"", ExpectedCaption(), 60s);
        if (main) uiprobe::Pause(500ms);
        return main;
    }

    // Clicks the repair button and answers the completion box.
    void RunRepair(HWND main, std::chrono::seconds limit) {
        HWND fix = uiprobe::FindChild(main, L"Button", L"一键修复");
        ASSERT_NE(fix, nullptr);
        uiprobe::Click(fix);
        auto box = uiprobe::WaitForMessageBox(program_->Pid(), limit);
        ASSERT_NE(box.hwnd, nullptr) << "no completion box";
        EXPECT_EQ(box.caption, L"提示");
        EXPECT_EQ(box.text, kDoneText);
        EXPECT_EQ(box.buttons.size(), 1u);
        EXPECT_TRUE(box.hasIcon);
        uiprobe::Answer(box, IDOK);
        for (int i = 0; i < 50 && ::IsWindow(box.hwnd); ++i) uiprobe::Pause(100ms);
        EXPECT_FALSE(::IsWindow(box.hwnd));
        uiprobe::Pause(300ms);
    }

    std::vector<std::wstring> Results(HWND main) {
        HWND lv = uiprobe::FindChild(main, L"SysListView32");
        std::vector<std::wstring> out;
        for (int r = 0; r < uiprobe::ListViewRowCount(lv); ++r) out.push_back(uiprobe::ListViewCell(lv, r, 1));
        return out;
    }

    std::vector<std::wstring> LogBox(HWND main) { return SplitLines(uiprobe::Text(uiprobe::FindChild(main, L"Edit"))); }

    void CloseAndWait(HWND main) {
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(program_->WaitExit(20s));
    }

    std::string TodaysLog() {
        SYSTEMTIME t;
        ::GetLocalTime(&t);
        wchar_t name[32];
        swprintf(name, 32, L"%04u-%02u-%02u.log", t.wYear, t.wMonth, t.wDay);
        return ReadBytes(dir_ / L"logs" / name);
    }

    fs::path dir_;
    std::unique_ptr<uiprobe::Program> program_;
};

TEST_F(QuilletRun, OneClickRepairShowsResultsLinesAndWritesTheRegistry) {
    HWND main = Start();
    ASSERT_NE(main, nullptr) << "main window not found";
    HWND lv = uiprobe::FindChild(main, L"SysListView32");
    EXPECT_EQ(uiprobe::ListViewHeaders(lv), (std::vector<std::wstring>{L"修复项目", L"结果"}));
    EXPECT_EQ(uiprobe::ListViewColumnWidths(lv), (std::vector<int>{600, 200}));
    EXPECT_EQ(uiprobe::ListViewCell(lv, 0, 0), L"浏览器兼容性修复");
    EXPECT_EQ(uiprobe::ListViewCell(lv, 1, 0), L"添加信任站点");
    EXPECT_EQ(uiprobe::ListViewCell(lv, 2, 0), L"注册必要控件");
    EXPECT_EQ(Results(main), (std::vector<std::wstring>{L"未处理", L"未处理", L"未处理"}));
    EXPECT_EQ(uiprobe::CountPixels(lv, Bluish), 0) << "rows not yet run are drawn black";
    RECT client;
    ::GetClientRect(main, &client);
    EXPECT_EQ(client.right, 820);
    EXPECT_EQ(client.bottom, 408);

    RunRepair(main, 120s);
    EXPECT_EQ(Results(main), (std::vector<std::wstring>{L"成功", L"成功", L"成功"}));
    EXPECT_EQ(LogBox(main), ExpectedLines(true));
    EXPECT_GT(uiprobe::CountPixels(lv, Bluish), 50) << "finished rows are drawn blue";
    // The last log line must be readable: the box ends above the status bar.
    RECT box, bar;
    ::GetWindowRect(uiprobe::FindChild(main, L"Edit"), &box);
    ::GetWindowRect(uiprobe::FindChild(main, L"msctls_statusbar32"), &bar);
    EXPECT_LE(box.bottom, bar.top);
    uiprobe::SaveScreenshot(main, L"quillet_after_repair.bmp");

    for (const auto& a : repair::kZoneActions) EXPECT_EQ(DwordOf(repair::kZoneKey, a.valueName), 0u);
    EXPECT_EQ(DwordOf(repair::RangeKeyPath(3), L"https"), 2u);
    EXPECT_EQ(DwordOf(std::wstring(repair::kDomainsKey) + L"\\vortan-tax.com\\www", L"http"), 2u);
    win::Registry classes(HKEY_CLASSES_ROOT, KEY_READ);
    ASSERT_TRUE(classes.TryOpenKey(repair::kControlCheckKey, false));
    EXPECT_EQ(classes.ReadString(L""), (dir_ / L"YRWXls.ocx").wstring());

    CloseAndWait(main);
    std::string log = TodaysLog();
    EXPECT_NE(log.find("[info ]log4me:application starting....\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("[info ]log4me:application stoping....\r\n"), std::string::npos) << log;
}

TEST_F(QuilletRun, SecondRunReplacesWrongValuesAndShowsTheSameLines) {
    DWORD three = 3;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, repair::kZoneKey, L"1001", REG_DWORD, &three, sizeof(three));
    ::RegSetKeyValueW(HKEY_CURRENT_USER, repair::kZoneKey, L"1400", REG_SZ, L"0", 4);
    ::RegSetKeyValueW(HKEY_CURRENT_USER, repair::RangeKeyPath(3).c_str(), L":Range", REG_SZ, L"1.1.1.1", 16);
    ::RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(repair::kDomainsKey) + L"\\vortan-tax.com\\www").c_str(),
                      L"http", REG_SZ, L"2", 4);
    HWND main = Start();
    ASSERT_NE(main, nullptr);
    RunRepair(main, 120s);
    RunRepair(main, 120s);  // the log box is cleared, not appended to
    EXPECT_EQ(LogBox(main), ExpectedLines(true));
    EXPECT_EQ(Results(main), (std::vector<std::wstring>{L"成功", L"成功", L"成功"}));
    EXPECT_EQ(DwordOf(repair::kZoneKey, L"1001"), 0u);
    EXPECT_EQ(DwordOf(repair::kZoneKey, L"1400"), 0u);
    EXPECT_EQ(DwordOf(std::wstring(repair::kDomainsKey) + L"\\vortan-tax.com\\www", L"http"), 2u);
    wchar_t range[64] = {};
    DWORD size = sizeof(range);
    ::RegGetValueW(HKEY_CURRENT_USER, repair::RangeKeyPath(3).c_str(), L":Range", RRF_RT_REG_SZ, nullptr, range,
                   &size);
    EXPECT_EQ(std::wstring(range), repair::SplitSiteList(repair::kTrustedSiteList)[3]);
    CloseAndWait(main);
}

TEST_F(QuilletRun, MissingServerFileEndsInTheWarningAfterTwentyOneChecks) {
    // The control beside the program is gone and the registry names a file that does not exist.
    fs::remove(dir_ / L"YRWXls.ocx");
    win::Registry classes(HKEY_CLASSES_ROOT, KEY_ALL_ACCESS);
    ASSERT_TRUE(classes.TryOpenKey(repair::kControlCheckKey, true));
    classes.WriteString(L"", (dir_ / L"gone" / L"YRWXls.ocx").wstring());
    HWND main = Start();
    ASSERT_NE(main, nullptr);
    auto start = std::chrono::steady_clock::now();
    RunRepair(main, 180s);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20s);
    EXPECT_EQ(LogBox(main), ExpectedLines(false));
    EXPECT_EQ(Results(main)[2], L"成功");  // the check's outcome only shows in the last line
    CloseAndWait(main);
}

} // namespace
