// The report list and deletion window: one row per report type with its
// newest file, and deletion of the selected row's file after a confirmation.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "uReportEntity.h"
#include "win/window.h"

class TfrmReportDelete : public win::Form {
public:
    using CatalogueFactory = std::function<std::unique_ptr<TReportContainer>()>;
    // Same contract as MessageBoxW: returns the id of the button pressed.
    using MessageBoxFunction = std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption,
                                                 UINT flags)>;

    // Creates the window hidden and fills the list from the program's data root.
    explicit TfrmReportDelete(HWND owner);
    // The same, with every catalogue made by `makeCatalogue` (another data root
    // or settings file) and, when `showMessage` is given, the questions and
    // notices answered by it in place of a user at a message box.
    TfrmReportDelete(HWND owner, CatalogueFactory makeCatalogue, MessageBoxFunction showMessage = {});

    void FormCreate();
    // Rebuilds the list from a fresh catalogue, which is released again.
    void RefreshReportList();
    void btnDeleteClick();

    win::ListView* LvReport = nullptr;
    win::Control* RzGroupBox1 = nullptr;
    win::Button* btnDelete = nullptr;

    static constexpr int kClientWidth = 8 + 831 + 8;

    enum Column { colTypeName = 0, colCount = 1, colTime = 2, colFileName = 3, colFullPath = 4 };

private:
    // How the window asks and informs, with itself as the owner.
    int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT flags);

    CatalogueFactory FMakeCatalogue;
    MessageBoxFunction FShowMessage;
};

namespace reports {
// Whether a file (not a directory) exists at `path`, a symbolic link counting
// by what it points to.
bool ReportFileExists(const std::wstring& path);
} // namespace reports
