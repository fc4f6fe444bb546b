#include <gtest/gtest.h>

#include <vector>

#include "report_tree.h"
#include "testing/uiprobe.h"
#include "uReportDelete.h"
#include "uReportRules.h"
#include "win/locale_info.h"

using namespace reports;
using namespace reports::testing;
using namespace std::chrono_literals;

namespace {

struct Asked {
    std::wstring text, caption;
    UINT flags;
};

class ReportWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { win::Application::Initialize(::GetModuleHandleW(nullptr)); }

    TempTree tree{L"window"};
    std::wstring root = tree.Dir(L"data") + L"\\";
    std::wstring config = tree.Path(L"config.ini");
    std::vector<Asked> asked;
    int answer = IDYES;
    std::unique_ptr<TfrmReportDelete> form;

    void Open() {
        form = std::make_unique<TfrmReportDelete>(
            nullptr, [this] { return std::make_unique<TReportContainer>(root, config); },
            [this](HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
                EXPECT_EQ(form->Handle(), owner);
                asked.push_back({text, caption, flags});
                return answer;
            });
    }
    std::wstring File(const std::wstring& relative, const SYSTEMTIME& t) { return tree.File(L"data\\" + relative, t); }
    int Rows() { return form->LvReport->RowCount(); }
    std::wstring Cell(int row, int col) { return form->LvReport->Cell(row, col); }
    int RowOf(const std::wstring& typeName) {
        for (int r = 0; r < Rows(); ++r)
            if (Cell(r, 0) == typeName) return r;
        return -1;
    }
    std::vector<std::wstring> Row(int row) {
        std::vector<std::wstring> cells;
        for (int c = 0; c < 5; ++c) cells.push_back(Cell(row, c));
        return cells;
    }
    std::wstring Time(int y, int mo, int d, int h, int mi, int s) {
        return FormatReportDateTime(EncodeDate(y, mo, d) + (h * 3600 + mi * 60 + s) / 86400.0,
                                    win::LocaleTimeSeparator());
    }
    // Two types: three files of 增值税, one of 所得税.
    void StandardTree() {
        WriteIni(config, L"[reportType]\r\nZZS=增值税\r\nSDS=所得税\r\n", IniEncoding::Ansi);
        File(L"ZZS\\jan.dat", Local(2024, 1, 31, 9, 0, 0));
        File(L"ZZS\\feb.dat", Local(2024, 2, 29, 9, 0, 0));
        File(L"ZZS\\mar.dat", Local(2024, 3, 31, 17, 45, 31));
        File(L"SDS\\q1.dat", Local(2024, 4, 15, 8, 30, 0));
    }
};

RECT ClientRectOf(HWND child) {
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

} // namespace

TEST_F(ReportWindow, LayoutCaptionAndStyles) {
    Open();
    EXPECT_EQ(L"报表列表", form->Caption());
    EXPECT_FALSE(::IsWindowVisible(form->Handle())) << "created hidden";
    RECT client;
    ::GetClientRect(form->Handle(), &client);
    EXPECT_EQ(8 + 831 + 8, client.right) << "wide enough for the list as laid out";
    EXPECT_EQ(397, client.bottom);
    const LONG style = ::GetWindowLongW(form->Handle(), GWL_STYLE);
    EXPECT_FALSE(style & WS_THICKFRAME) << "not resizable";
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);

    RECT lv = ClientRectOf(form->LvReport->Handle());
    EXPECT_EQ(8, lv.left);
    EXPECT_EQ(68, lv.top);
    EXPECT_EQ(831, lv.right - lv.left);
    EXPECT_EQ(317, lv.bottom - lv.top);
    RECT gb = ClientRectOf(form->RzGroupBox1->Handle());
    EXPECT_EQ((RECT{8, 8, 8 + 828, 8 + 54}.right), gb.right);
    EXPECT_EQ(8, gb.left);
    EXPECT_EQ(8, gb.top);
    EXPECT_EQ(54, gb.bottom - gb.top);
    EXPECT_EQ(L"操作", form->RzGroupBox1->Text());
    RECT bt = ClientRectOf(form->btnDelete->Handle());
    EXPECT_EQ(gb.left + 622, bt.left);
    EXPECT_EQ(gb.top + 13, bt.top);
    EXPECT_EQ(113, bt.right - bt.left);
    EXPECT_EQ(33, bt.bottom - bt.top);
    EXPECT_EQ(L"报表删除", form->btnDelete->Text());

    const LONG lvStyle = ::GetWindowLongW(form->LvReport->Handle(), GWL_STYLE);
    EXPECT_EQ(LVS_REPORT, lvStyle & LVS_TYPEMASK);
    EXPECT_TRUE(lvStyle & LVS_SINGLESEL);
    const DWORD ex = static_cast<DWORD>(::SendMessageW(form->LvReport->Handle(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT), ex & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));

    // Tab order: the list first, then the button (the group box takes no focus).
    EXPECT_EQ(form->btnDelete->Handle(), ::GetNextDlgTabItem(form->Handle(), form->LvReport->Handle(), FALSE));
    EXPECT_EQ(form->LvReport->Handle(), ::GetNextDlgTabItem(form->Handle(), form->btnDelete->Handle(), FALSE));
}

TEST_F(ReportWindow, ListAndGroupLieWhollyInsideTheClientArea) {
    Open();
    RECT client;
    ::GetClientRect(form->Handle(), &client);
    for (HWND control : {form->LvReport->Handle(), form->RzGroupBox1->Handle(), form->btnDelete->Handle()}) {
        const RECT r = ClientRectOf(control);
        EXPECT_GE(r.left, 0);
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.right, client.right) << "its right edge and scroll bar can be reached";
        EXPECT_LE(r.bottom, client.bottom);
    }
}

TEST_F(ReportWindow, ManyTypesScrollWithinReach) {
    std::wstring ini = L"[reportType]\r\n";
    for (int i = 0; i < 40; ++i) {
        wchar_t code[8], name[32];
        swprintf(code, 8, L"T%02d", i);
        swprintf(name, 32, L"T%02d\\r%02d.dat", i, i);
        ini += std::wstring(code) + L"=报表类型" + std::to_wstring(i) + L"\r\n";
        File(name, Local(2024, 3, 1, 9, 0, 0));
    }
    WriteIni(config, ini, IniEncoding::Ansi);
    Open();
    ASSERT_EQ(Rows(), 40);
    form->CenterOnScreen();
    form->Show();
    uiprobe::Pause(500ms);
    SCROLLBARINFO bar{};
    bar.cbSize = sizeof bar;
    ASSERT_TRUE(::GetScrollBarInfo(form->LvReport->Handle(), OBJID_VSCROLL, &bar));
    EXPECT_FALSE(bar.rgstate[0] & STATE_SYSTEM_INVISIBLE) << "enough rows to scroll";
    RECT client;
    ::GetClientRect(form->Handle(), &client);
    ::MapWindowPoints(form->Handle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    EXPECT_LE(bar.rcScrollBar.right, client.right) << "the scroll bar lies within the window";
    uiprobe::SaveScreenshot(form->Handle(), L"report_window_many_rows.bmp");
}

TEST_F(ReportWindow, ColumnsHeadersAndWidths) {
    Open();
    HWND lv = form->LvReport->Handle();
    HWND header = reinterpret_cast<HWND>(::SendMessageW(lv, LVM_GETHEADER, 0, 0));
    ASSERT_EQ(5, ::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    const wchar_t* headers[] = {L"报表名称", L"报表份数", L"最后修改时间", L"完整文件名", L""};
    const int widths[] = {200, 60, 150, 350, 0};
    for (int i = 0; i < 5; ++i) {
        wchar_t buf[64] = {};
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.pszText = buf;
        col.cchTextMax = 64;
        ASSERT_TRUE(::SendMessageW(lv, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&col)));
        EXPECT_EQ(std::wstring(headers[i]), buf) << "column " << i;
        EXPECT_EQ(widths[i], ::SendMessageW(lv, LVM_GETCOLUMNWIDTH, i, 0)) << "column " << i;
    }
}

TEST_F(ReportWindow, RowsShowTheCatalogueInItsOwnOrder) {
    StandardTree();
    WriteIni(config, L"[reportType]\r\nZZS=增值税\r\nSDS=所得税\r\nA=甲\r\nB=乙\r\nC=丙\r\n", IniEncoding::Ansi);
    File(L"A\\a.dat", Local(2023, 1, 1, 0, 0, 0));
    File(L"B\\b.dat", Local(2023, 1, 1, 0, 0, 0));
    File(L"C\\c.dat", Local(2023, 1, 1, 0, 0, 0));
    Open();
    EXPECT_EQ(nullptr, ReportContainer) << "the catalogue is released after the listing";
    TReportContainer expected(root, config);
    expected.InitReportDir();
    ASSERT_EQ(static_cast<int>(expected.ReportFiles().size()), Rows());
    int row = 0;
    for (const auto& [code, report] : expected.ReportFiles()) {
        EXPECT_EQ(report->ReportTypeName(), Cell(row, 0));
        EXPECT_EQ(report->ReportFullPath(), Cell(row, 4));
        ++row;
    }
    const int zzs = RowOf(L"增值税");
    ASSERT_GE(zzs, 0);
    EXPECT_EQ((std::vector<std::wstring>{L"增值税", L"3", Time(2024, 3, 31, 17, 45, 30), L"mar.dat", root + L"ZZS\\mar.dat"}),
              Row(zzs));
    EXPECT_EQ(L"2024-03-31 17" + win::LocaleTimeSeparator() + L"45" + win::LocaleTimeSeparator() + L"30", Cell(zzs, 2));
}

TEST_F(ReportWindow, UnreadableTimeShowsTheZeroDate) {
    WriteIni(config, L"[reportType]\r\nOLD=旧报表\r\n", IniEncoding::Ansi);
    File(L"OLD\\1970.dat", Local(1979, 12, 31, 23, 0, 0));
    Open();
    ASSERT_EQ(1, Rows());
    const std::wstring sep = win::LocaleTimeSeparator();
    EXPECT_EQ(L"1899-12-30 00" + sep + L"00" + sep + L"00", Cell(0, 2));
}

TEST_F(ReportWindow, EmptyCatalogueGivesAnEmptyListWithoutMessages) {
    Open();
    EXPECT_EQ(0, Rows());
    form->btnDeleteClick();  // nothing selected, nothing to select
    EXPECT_TRUE(asked.empty());
}

TEST_F(ReportWindow, YesDeletesExactlyThatFileAndShowsTheNextOne) {
    StandardTree();
    Open();
    const int zzs = RowOf(L"增值税");
    form->LvReport->Select(zzs);
    answer = IDYES;
    form->btnDeleteClick();
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"尊敬的纳税人，确定要删除<增值税>的报表文件[mar.dat]吗?一旦删除将无法恢复！", asked[0].text);
    EXPECT_EQ(L"警告", asked[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION), asked[0].flags);
    EXPECT_FALSE(Exists(root + L"ZZS\\mar.dat"));
    EXPECT_TRUE(Exists(root + L"ZZS\\feb.dat"));
    EXPECT_TRUE(Exists(root + L"ZZS\\jan.dat"));
    EXPECT_TRUE(Exists(root + L"SDS\\q1.dat"));
    ASSERT_EQ(2, Rows());
    const int again = RowOf(L"增值税");
    ASSERT_GE(again, 0);
    EXPECT_EQ((std::vector<std::wstring>{L"增值税", L"2", Time(2024, 2, 29, 9, 0, 0), L"feb.dat", root + L"ZZS\\feb.dat"}),
              Row(again));
    EXPECT_EQ(nullptr, ReportContainer);
}

TEST_F(ReportWindow, DeletingTheLastFileOfATypeRemovesItsRow) {
    StandardTree();
    Open();
    form->LvReport->Select(RowOf(L"所得税"));
    form->btnDeleteClick();
    EXPECT_FALSE(Exists(root + L"SDS\\q1.dat"));
    EXPECT_TRUE(Exists(root + L"SDS"));
    ASSERT_EQ(1, Rows());
    EXPECT_EQ(L"增值税", Cell(0, 0));
    EXPECT_EQ(L"3", Cell(0, 1));
}

TEST_F(ReportWindow, NoChangesNothing) {
    StandardTree();
    Open();
    const int zzs = RowOf(L"增值税");
    const auto before = Row(zzs);
    File(L"ZZS\\apr.dat", Local(2024, 4, 30, 9, 0, 0));  // would show up after a rescan
    form->LvReport->Select(zzs);
    answer = IDNO;
    form->btnDeleteClick();
    ASSERT_EQ(1u, asked.size());
    EXPECT_TRUE(Exists(root + L"ZZS\\mar.dat"));
    EXPECT_EQ(before, Row(zzs));
    EXPECT_EQ(2, Rows());
}

TEST_F(ReportWindow, FileRemovedBehindTheWindowsBackKeepsTheStaleRow) {
    StandardTree();
    Open();
    const int zzs = RowOf(L"增值税");
    const auto before = Row(zzs);
    ASSERT_TRUE(::DeleteFileW((root + L"ZZS\\mar.dat").c_str()));
    form->LvReport->Select(zzs);
    form->btnDeleteClick();
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"尊敬的纳税人，没有找到可以删除的报表文件！", asked[0].text);
    EXPECT_EQ(L"提示", asked[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), asked[0].flags);
    EXPECT_EQ(before, Row(zzs));
    EXPECT_TRUE(Exists(root + L"ZZS\\feb.dat"));
    EXPECT_TRUE(Exists(root + L"ZZS\\jan.dat"));
}

TEST_F(ReportWindow, NoSelectedRowDoesNothing) {
    StandardTree();
    Open();
    form->btnDeleteClick();
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(Exists(root + L"ZZS\\mar.dat"));
    EXPECT_TRUE(Exists(root + L"SDS\\q1.dat"));
    EXPECT_EQ(2, Rows());
}

TEST_F(ReportWindow, DirectoryShownAsAReportIsNotDeleted) {
    WriteIni(config, L"[reportType]\r\nDIR=目录\r\n", IniEncoding::Ansi);
    const std::wstring sub = tree.Dir(L"data\\DIR\\nested");
    ASSERT_NE(16u, MarkDirectory(sub));
    SetWriteTime(sub, Local(2024, 5, 5, 5, 5, 6));
    File(L"DIR\\nested\\inner.dat", Local(2020, 1, 1, 0, 0, 0));
    SetWriteTime(sub, Local(2024, 5, 5, 5, 5, 6));
    File(L"DIR\\older.dat", Local(2020, 1, 1, 0, 0, 0));
    Open();
    ASSERT_EQ(1, Rows());
    EXPECT_EQ(L"nested", Cell(0, 3));
    form->LvReport->Select(0);
    form->btnDeleteClick();
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"尊敬的纳税人，没有找到可以删除的报表文件！", asked[0].text);
    EXPECT_TRUE(Exists(sub + L"\\inner.dat"));
    EXPECT_TRUE(Exists(root + L"DIR\\older.dat"));
}

TEST_F(ReportWindow, DeletesTheListedFileNotTheOneThePlatformWouldTrimItTo) {
    WriteIni(config, L"[reportType]\r\nD=点\r\n", IniEncoding::Ansi);
    File(L"D\\r.dat", Local(2024, 1, 1, 0, 0, 0));
    const std::wstring dotted = File(L"D\\r.dat.", Local(2024, 1, 2, 0, 0, 0));
    Open();
    ASSERT_EQ(1, Rows());
    EXPECT_EQ(L"r.dat.", Cell(0, 3));
    form->LvReport->Select(0);
    form->btnDeleteClick();
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"警告", asked[0].caption);
    EXPECT_FALSE(Exists(dotted));
    EXPECT_TRUE(Exists(root + L"D\\r.dat"));
    EXPECT_EQ(L"r.dat", Cell(0, 3));
    EXPECT_EQ(L"1", Cell(0, 1));
}

TEST_F(ReportWindow, LongAndNonAnsiNamesAreDeletedExactly) {
    const std::wstring longCode(200, L'd');
    const std::wstring longFile = std::wstring(230, L'f') + L".dat";
    WriteIni(config, L"[reportType]\r\n" + longCode + L"=长名\r\nE=表情\U0001F600\r\n", IniEncoding::Utf16WithBom);
    tree.Dir(L"data\\" + longCode);
    const std::wstring longPath = File(longCode + L"\\" + longFile, Local(2024, 3, 3, 3, 3, 4));
    const std::wstring longOther = File(longCode + L"\\" + std::wstring(230, L'g'), Local(2024, 3, 2, 3, 3, 4));
    const std::wstring emoji = File(L"E\\\U0001F600.dat", Local(2024, 2, 2, 2, 2, 2));
    const std::wstring emojiOther = File(L"E\\a.dat", Local(2023, 2, 2, 2, 2, 2));
    Open();
    ASSERT_EQ(2, Rows());
    form->LvReport->Select(RowOf(L"长名"));
    form->btnDeleteClick();
    form->LvReport->Select(RowOf(L"表情\U0001F600"));
    form->btnDeleteClick();
    ASSERT_EQ(2u, asked.size());
    EXPECT_EQ(DeleteConfirmationText(L"长名", longFile), asked[0].text);
    EXPECT_EQ(DeleteConfirmationText(L"表情\U0001F600", L"\U0001F600.dat"), asked[1].text);
    EXPECT_FALSE(Exists(longPath));
    EXPECT_FALSE(Exists(emoji));
    EXPECT_TRUE(Exists(longOther));
    EXPECT_TRUE(Exists(emojiOther));
}

TEST_F(ReportWindow, ClickingTheButtonRunsTheDeletion) {
    StandardTree();
    Open();
    form->LvReport->Select(RowOf(L"所得税"));
    ::SendMessageW(form->btnDelete->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(1u, asked.size());
    EXPECT_FALSE(Exists(root + L"SDS\\q1.dat"));
}
