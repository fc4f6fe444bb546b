// quillet.exe as a user meets it: a prepared data root and config.ini, the
// main window's "报表删除", the report list, a deletion with its confirmation,
// and the main window as it was once the list is closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "report_tree.h"
#include "testing/uiprobe.h"
#include "uReportDelete.h"
#include "uReportEntity.h"
#include "uReportRules.h"
#include "win/handles.h"
#include "win/locale_info.h"
#include "win/strings.h"

using namespace std::chrono_literals;
using namespace reports;
using namespace reports::testing;

namespace {

const std::wstring kRoot = L"c:\\VORTAN_NSSB\\";
// Left at the data root so a later run knows the tree is its own leftover.
const std::wstring kMarker = kRoot + L"quillet-e2e.marker";

std::vector<std::wstring> Row(HWND lv, int row) {
    std::vector<std::wstring> cells;
    for (int c = 0; c < 5; ++c) cells.push_back(uiprobe::ListViewCell(lv, row, c));
    return cells;
}

std::vector<std::vector<std::wstring>> Rows(HWND lv) {
    std::vector<std::vector<std::wstring>> rows;
    for (int r = 0; r < uiprobe::ListViewRowCount(lv); ++r) rows.push_back(Row(lv, r));
    return rows;
}

int RowOf(HWND lv, const std::wstring& typeName) {
    for (int r = 0; r < uiprobe::ListViewRowCount(lv); ++r)
        if (uiprobe::ListViewCell(lv, r, 0) == typeName) return r;
    return -1;
}

// What the window must show for a catalogue of the same tree and settings.
std::vector<std::vector<std::wstring>> Expected(const std::wstring& config) {
    TReportContainer c(kRoot, config);
    c.InitReportDir();
    std::vector<std::vector<std::wstring>> rows;
    for (const auto& [code, r] : c.ReportFiles())
        rows.push_back({r->ReportTypeName(), std::to_wstring(r->TypeReoprtCnt()),
                        FormatReportDateTime(r->LastAccessTime(), win::LocaleTimeSeparator()), r->ReportFileName(),
                        r->ReportFullPath()});
    return rows;
}

struct MainWindowState {
    std::wstring caption;
    std::vector<std::wstring> cells;
    std::wstring log;
    bool enabled = false;
    bool operator==(const MainWindowState&) const = default;
};

MainWindowState StateOf(HWND main) {
    MainWindowState s;
    s.caption = uiprobe::Text(main);
    if (HWND lv = uiprobe::FindChild(main, L"SysListView32"))
        for (int r = 0; r < uiprobe::ListViewRowCount(lv); ++r)
            for (int c = 0; c < 2; ++c) s.cells.push_back(uiprobe::ListViewCell(lv, r, c));
    if (HWND memo = uiprobe::FindChild(main, L"Edit")) s.log = uiprobe::Text(memo);
    s.enabled = ::IsWindowEnabled(main) != FALSE;
    return s;
}

std::wstring CurrentDir() {
    wchar_t buf[MAX_PATH];
    DWORD n = ::GetCurrentDirectoryW(MAX_PATH, buf);
    std::wstring dir(buf, n);
    return dir.back() == L'\\' ? dir : dir + L"\\";
}

class ReportEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (Exists(kRoot)) {
            if (!Exists(kMarker)) GTEST_SKIP() << "c:\\VORTAN_NSSB\\ exists and is not ours";
            RemoveTree(kRoot.substr(0, kRoot.size() - 1));
        }
        ASSERT_TRUE(::CreateDirectoryW(kRoot.c_str(), nullptr));
        MakeFile(kMarker, Local(2024, 1, 1, 0, 0, 0));
        ASSERT_TRUE(::CopyFileW((win::ExeDir() + L"quillet.exe").c_str(), exe.c_str(), FALSE));
    }
    void TearDown() override {
        if (Exists(kMarker)) RemoveTree(kRoot.substr(0, kRoot.size() - 1));
    }
    static void MakeFile(const std::wstring& path, const SYSTEMTIME& t) {
        auto slash = path.find_last_of(L'\\');
        ::CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
        ASSERT_TRUE(win::UniqueHFile(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
        ASSERT_TRUE(SetWriteTime(path, t));
    }

    TempTree dir{L"quillet-e2e"};
    std::wstring exe = dir.Path(L"quillet.exe");
    std::wstring config = dir.Path(L"config.ini");
};

} // namespace

TEST_F(ReportEndToEnd, ListSelectDeleteConfirmAndCloseAsAUserWould) {
    WriteIni(config,
             L"[reportType]\r\nZZS=增值税纳税申报表\r\nSDS=企业所得税季报\r\nWHS=文化事业建设费\r\n"
             L"HID=隐藏目录\r\nNOFILES=空类型\r\nGHOST=没有目录\r\n",
             IniEncoding::Ansi);
    MakeFile(kRoot + L"ZZS\\2024-01.dat", Local(2024, 1, 31, 9, 0, 0));
    MakeFile(kRoot + L"ZZS\\2024-02.dat", Local(2024, 2, 29, 9, 0, 1));  // odd second: shown as :00
    MakeFile(kRoot + L"ZZS\\2024-03.dat", Local(2024, 3, 31, 17, 45, 31));
    MakeFile(kRoot + L"SDS\\2024Q1.dat", Local(2024, 4, 15, 8, 30, 0));
    MakeFile(kRoot + L"WHS\\whs.dat", Local(2024, 5, 20, 10, 0, 0));
    MakeFile(kRoot + L"HID\\hidden.dat", Local(2024, 5, 20, 10, 0, 0));
    ASSERT_NE(16u, MarkDirectory(kRoot + L"HID"));
    MakeFile(kRoot + L"UNLISTED\\u.dat", Local(2024, 5, 20, 10, 0, 0));
    ::CreateDirectoryW((kRoot + L"NOFILES").c_str(), nullptr);
    const auto expected = Expected(config);
    ASSERT_EQ(3u, expected.size());

    uiprobe::Program program(exe, L"", dir.Root());
    HWND main = uiprobe::WaitForWindow(program.Pid(), L"", L"", 30s);
    ASSERT_NE(nullptr, main);
    ASSERT_EQ(0u, uiprobe::Text(main).rfind(L"Quillet（仅修复）(", 0)) << win::ToUtf8(uiprobe::Text(main));
    uiprobe::Pause(300ms);
    const MainWindowState before = StateOf(main);

    HWND openButton = uiprobe::FindChild(main, L"Button", L"报表删除");
    ASSERT_NE(nullptr, openButton);
    uiprobe::Click(openButton);
    HWND reportWindow = uiprobe::WaitForWindow(program.Pid(), L"", L"报表列表", 10s);
    ASSERT_NE(nullptr, reportWindow);
    EXPECT_FALSE(::IsWindowEnabled(main)) << "the report window is modal";
    HWND lv = uiprobe::FindChild(reportWindow, L"SysListView32");
    ASSERT_NE(nullptr, lv);
    EXPECT_EQ((std::vector<std::wstring>{L"报表名称", L"报表份数", L"最后修改时间", L"完整文件名", L""}),
              uiprobe::ListViewHeaders(lv));
    EXPECT_EQ((std::vector<int>{200, 60, 150, 350, 0}), uiprobe::ListViewColumnWidths(lv));
    EXPECT_EQ(expected, Rows(lv)) << "rows in the catalogue's own order";
    const int zzs = RowOf(lv, L"增值税纳税申报表");
    ASSERT_GE(zzs, 0);
    EXPECT_EQ((std::vector<std::wstring>{L"增值税纳税申报表", L"3", L"2024-03-31 17:45:30", L"2024-03.dat",
                                         kRoot + L"ZZS\\2024-03.dat"}),
              Row(lv, zzs));

    uiprobe::ListViewSelect(lv, zzs);
    uiprobe::Pause(300ms);
    const std::wstring shot = CurrentDir() + L"report_window.bmp";
    EXPECT_TRUE(uiprobe::SaveScreenshot(reportWindow, shot));
    std::printf("screenshot: %s\n", win::ToUtf8(shot).c_str());

    // Yes: exactly the shown file goes, the row moves to the next newest.
    HWND deleteButton = uiprobe::FindChild(reportWindow, L"Button", L"报表删除");
    ASSERT_NE(nullptr, deleteButton);
    uiprobe::Click(deleteButton);
    auto box = uiprobe::WaitForMessageBox(program.Pid(), 10s);
    ASSERT_NE(nullptr, box.hwnd);
    EXPECT_EQ(L"警告", box.caption);
    EXPECT_EQ(L"尊敬的纳税人，确定要删除<增值税纳税申报表>的报表文件[2024-03.dat]吗?一旦删除将无法恢复！", box.text);
    EXPECT_EQ(2u, box.buttons.size());
    EXPECT_TRUE(box.hasIcon);
    EXPECT_NE(nullptr, ::GetDlgItem(box.hwnd, IDYES));
    EXPECT_NE(nullptr, ::GetDlgItem(box.hwnd, IDNO));
    uiprobe::Answer(box, IDYES);
    for (int i = 0; i < 50 && Exists(kRoot + L"ZZS\\2024-03.dat"); ++i) uiprobe::Pause(100ms);
    uiprobe::Pause(300ms);
    EXPECT_FALSE(Exists(kRoot + L"ZZS\\2024-03.dat"));
    EXPECT_TRUE(Exists(kRoot + L"ZZS\\2024-02.dat"));
    EXPECT_TRUE(Exists(kRoot + L"ZZS\\2024-01.dat"));
    EXPECT_TRUE(Exists(kRoot + L"SDS\\2024Q1.dat"));
    EXPECT_TRUE(Exists(kRoot + L"WHS\\whs.dat"));
    EXPECT_TRUE(Exists(kRoot + L"HID\\hidden.dat"));
    EXPECT_TRUE(Exists(kRoot + L"UNLISTED\\u.dat"));
    EXPECT_EQ(Expected(config), Rows(lv));
    const int zzsAfter = RowOf(lv, L"增值税纳税申报表");
    ASSERT_GE(zzsAfter, 0);
    EXPECT_EQ((std::vector<std::wstring>{L"增值税纳税申报表", L"2", L"2024-02-29 09:00:00", L"2024-02.dat",
                                         kRoot + L"ZZS\\2024-02.dat"}),
              Row(lv, zzsAfter));

    // No: nothing changes.
    const auto rowsBeforeNo = Rows(lv);
    uiprobe::ListViewSelect(lv, RowOf(lv, L"企业所得税季报"));
    uiprobe::Click(deleteButton);
    box = uiprobe::WaitForMessageBox(program.Pid(), 10s);
    ASSERT_NE(nullptr, box.hwnd);
    EXPECT_EQ(L"尊敬的纳税人，确定要删除<企业所得税季报>的报表文件[2024Q1.dat]吗?一旦删除将无法恢复！", box.text);
    uiprobe::Answer(box, IDNO);
    uiprobe::Pause(500ms);
    EXPECT_TRUE(Exists(kRoot + L"SDS\\2024Q1.dat"));
    EXPECT_EQ(rowsBeforeNo, Rows(lv));

    // A file removed behind the window's back: told so, the stale row stays.
    ASSERT_TRUE(::DeleteFileW((kRoot + L"WHS\\whs.dat").c_str()));
    uiprobe::ListViewSelect(lv, RowOf(lv, L"文化事业建设费"));
    uiprobe::Click(deleteButton);
    box = uiprobe::WaitForMessageBox(program.Pid(), 10s);
    ASSERT_NE(nullptr, box.hwnd);
    EXPECT_EQ(L"提示", box.caption);
    EXPECT_EQ(L"尊敬的纳税人，没有找到可以删除的报表文件！", box.text);
    EXPECT_EQ(1u, box.buttons.size());
    EXPECT_TRUE(box.hasIcon);
    uiprobe::Answer(box, IDOK);
    uiprobe::Pause(500ms);
    EXPECT_EQ(rowsBeforeNo, Rows(lv));

    // Closing the list leaves the main window as it was, and reopening does
    // not rescan.
    ::PostMessageW(reportWindow, WM_CLOSE, 0, 0);
    for (int i = 0; i < 50 && ::IsWindowVisible(reportWindow); ++i) uiprobe::Pause(100ms);
    EXPECT_FALSE(::IsWindowVisible(reportWindow));
    uiprobe::Pause(300ms);
    EXPECT_TRUE(StateOf(main) == before) << "main window changed";
    uiprobe::Click(openButton);
    ASSERT_NE(nullptr, uiprobe::WaitForWindow(program.Pid(), L"", L"报表列表", 10s));
    EXPECT_EQ(rowsBeforeNo, Rows(lv));
    ::PostMessageW(reportWindow, WM_CLOSE, 0, 0);
    for (int i = 0; i < 50 && ::IsWindowVisible(reportWindow); ++i) uiprobe::Pause(100ms);

    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.WaitExit(10s));
}
