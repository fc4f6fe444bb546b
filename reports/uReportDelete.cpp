#include "uReportDelete.h"

#include <vector>

#include "uReportRules.h"
#include "win/locale_info.h"

namespace reports {

bool ReportFileExists(const std::wstring& path) {
    const std::wstring fsPath = FileSystemPath(path);
    DWORD attrs = ::GetFileAttributesW(fsPath.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (!(attrs & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    // A link exists for the user only when its target does.
    win::UniqueHFile target(::CreateFileW(fsPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!target) return false;
    BY_HANDLE_FILE_INFORMATION info;
    return ::GetFileInformationByHandle(target.get(), &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace reports

TfrmReportDelete::TfrmReportDelete(HWND owner)
    : TfrmReportDelete(owner, [] { return std::make_unique<TReportContainer>(); }) {}

TfrmReportDelete::TfrmReportDelete(HWND owner, CatalogueFactory makeCatalogue, MessageBoxFunction showMessage)
    : FMakeCatalogue(std::move(makeCatalogue)), FShowMessage(std::move(showMessage)) {
    if (!FShowMessage) {
        FShowMessage = [](HWND o, const std::wstring& text, const std::wstring& caption, UINT flags) {
            return ::MessageBoxW(o, text.c_str(), caption.c_str(), flags);
        };
    }
    // Wide enough for the list and the group box as they are laid out, so
    // the list's right edge and its scroll bar stay within reach.
    CreateWindowFor(win::FormStyle{L"报表列表", kClientWidth, 397, false}, owner);
    LvReport = &AddListView(8, 68, 831, 317, LVS_SINGLESEL, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    RzGroupBox1 = &AddGroupBox(L"操作", 8, 8, 828, 54);
    btnDelete = &AddButton(L"报表删除", 8 + 622, 8 + 13, 113, 33);
    LvReport->AddColumn(L"报表名称", 200);
    LvReport->AddColumn(L"报表份数", 60);
    LvReport->AddColumn(L"最后修改时间", 150);
    LvReport->AddColumn(L"完整文件名", 350);
    LvReport->AddColumn(L"", 0);
    btnDelete->OnClick = [this](win::Button&) { btnDeleteClick(); };
    FormCreate();
}

void TfrmReportDelete::FormCreate() { RefreshReportList(); }

int TfrmReportDelete::ShowMessage(const std::wstring& text, const std::wstring& caption, UINT flags) {
    return FShowMessage(Handle(), text, caption, flags);
}

void TfrmReportDelete::RefreshReportList() {
    // The catalogue lives only for this listing, also when building it fails.
    struct Release {
        ~Release() { ReleaseReportCatalogue(); }
    } release;
    ReportContainer = FMakeCatalogue();
    ReportContainer->InitReportDir();
    LvReport->Clear();
    const std::wstring separator = win::LocaleTimeSeparator();
    const auto& map = ReportContainer->ReportFiles();
    std::vector<std::wstring> codes;
    codes.reserve(map.size());
    for (const auto& entry : map) codes.push_back(entry.first);
    for (const auto& code : codes) {
        const TReportEntity& report = *map.at(code);
        int row = LvReport->AddItem(report.ReportTypeName());
        LvReport->SetCell(row, colCount, std::to_wstring(report.TypeReoprtCnt()));
        LvReport->SetCell(row, colTime, reports::FormatReportDateTime(report.LastAccessTime(), separator));
        LvReport->SetCell(row, colFileName, report.ReportFileName());
        LvReport->SetCell(row, colFullPath, report.ReportFullPath());
    }
}

void TfrmReportDelete::btnDeleteClick() {
    const int row = LvReport->SelectedIndex();
    if (row < 0) return;
    const std::wstring fullPath = LvReport->Cell(row, colFullPath);
    const std::wstring fileName = LvReport->Cell(row, colFileName);
    if (fullPath.empty() || !reports::ReportFileExists(fullPath)) {
        ShowMessage(L"尊敬的纳税人，没有找到可以删除的报表文件！", L"提示", MB_OK | MB_ICONINFORMATION);
        return;
    }
    const std::wstring question = reports::DeleteConfirmationText(LvReport->Cell(row, colTypeName), fileName);
    if (ShowMessage(question, L"警告", MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
    // A failed deletion is not reported: the file simply shows up again.
    ::DeleteFileW(reports::FileSystemPath(fullPath).c_str());
    RefreshReportList();
}
