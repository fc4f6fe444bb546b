// The child controls of the window layer: what each kind adds to the plain
// window handle.
#include "window.h"

namespace win {

void Control::SetText(const std::wstring& text) { ::SetWindowTextW(hwnd_, text.c_str()); }

std::wstring Control::Text() const {
    int n = ::GetWindowTextLengthW(hwnd_);
    std::wstring s(n + 1, L'\0');
    n = ::GetWindowTextW(hwnd_, s.data(), n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

void Memo::Clear() { ::SetWindowTextW(hwnd_, L""); }

void Memo::AppendLine(const std::wstring& line) {
    int len = ::GetWindowTextLengthW(hwnd_);
    std::wstring add = len > 0 ? L"\r\n" + line : line;
    ::SendMessageW(hwnd_, EM_SETSEL, len, len);
    ::SendMessageW(hwnd_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(add.c_str()));
}

std::vector<std::wstring> Memo::Lines() const {
    std::vector<std::wstring> lines;
    std::wstring text = Text();
    if (text.empty()) return lines;
    size_t start = 0;
    for (;;) {
        size_t pos = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, pos == std::wstring::npos ? std::wstring::npos : pos - start));
        if (pos == std::wstring::npos) break;
        start = pos + 2;
    }
    return lines;
}

void ListView::AddColumn(const std::wstring& header, int width) {
    HWND hdr = reinterpret_cast<HWND>(::SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
    int index = hdr ? static_cast<int>(::SendMessageW(hdr, HDM_GETITEMCOUNT, 0, 0)) : 0;
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = const_cast<wchar_t*>(header.c_str());
    col.cx = width;
    col.iSubItem = index;
    ::SendMessageW(hwnd_, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&col));
}

int ListView::AddItem(const std::wstring& caption) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = RowCount();
    item.pszText = const_cast<wchar_t*>(caption.c_str());
    return static_cast<int>(::SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void ListView::SetCell(int row, int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(hwnd_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

std::wstring ListView::Cell(int row, int column) const {
    std::wstring buf(1024, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buf.data();
        item.cchTextMax = static_cast<int>(buf.size());
        int n = static_cast<int>(::SendMessageW(hwnd_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        if (n < static_cast<int>(buf.size()) - 1) { buf.resize(n); return buf; }
        buf.resize(buf.size() * 2);
    }
}

int ListView::RowCount() const { return static_cast<int>(::SendMessageW(hwnd_, LVM_GETITEMCOUNT, 0, 0)); }

int ListView::SelectedIndex() const {
    return static_cast<int>(::SendMessageW(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void ListView::Select(int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(hwnd_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void ListView::Clear() { ::SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0); }

void StatusBar::SetPanes(const std::vector<int>& widths) {
    std::vector<int> rights;
    int x = 0;
    for (int w : widths) {
        if (w < 0) { rights.push_back(-1); break; }
        x += w;
        rights.push_back(x);
    }
    ::SendMessageW(hwnd_, SB_SETPARTS, rights.size(), reinterpret_cast<LPARAM>(rights.data()));
}

void StatusBar::SetPaneText(int pane, const std::wstring& text) {
    ::SendMessageW(hwnd_, SB_SETTEXTW, pane | SBT_NOBORDERS, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring StatusBar::PaneText(int pane) const {
    int n = LOWORD(::SendMessageW(hwnd_, SB_GETTEXTLENGTHW, pane, 0));
    std::wstring s(n + 1, L'\0');
    ::SendMessageW(hwnd_, SB_GETTEXTW, pane, reinterpret_cast<LPARAM>(s.data()));
    s.resize(n);
    return s;
}

void Label::SetColor(COLORREF color) {
    color_ = color;
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

int Label::TextHeight() const {
    RECT r;
    ::GetClientRect(hwnd_, &r);
    const std::wstring text = Text();
    const HDC dc = ::GetDC(hwnd_);
    if (!dc) return 0;
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
    RECT measured{0, 0, r.right - r.left, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(hwnd_, dc);
    return measured.bottom - measured.top;
}

void ProgressBar::SetPosition(int percent) { ::SendMessageW(hwnd_, PBM_SETPOS, percent, 0); }

int ProgressBar::Position() const { return static_cast<int>(::SendMessageW(hwnd_, PBM_GETPOS, 0, 0)); }

void Picture::SetBitmap(HBITMAP bitmap) {
    bitmap_.reset(bitmap ? ::CopyImage(bitmap, IMAGE_BITMAP, 0, 0, 0) : nullptr);
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void Picture::SetIcon(HICON icon) {
    // Icons come from the program's resources, which live as long as it does.
    icon_ = icon;
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void Picture::SetFill(COLORREF color) {
    fill_ = color;
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void Picture::Draw(HDC dc, const RECT& area) const {
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (bitmap_) {
        BITMAP info{};
        ::GetObjectW(bitmap_.get(), sizeof info, &info);
        const HDC source = ::CreateCompatibleDC(dc);
        const HGDIOBJ old = ::SelectObject(source, bitmap_.get());
        ::SetStretchBltMode(dc, HALFTONE);
        ::StretchBlt(dc, area.left, area.top, w, h, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        ::SelectObject(source, old);
        ::DeleteDC(source);
    } else if (icon_) {
        ::DrawIconEx(dc, area.left, area.top, icon_, w, h, 0, nullptr, DI_NORMAL);
    } else if (fill_ != CLR_INVALID) {
        const UniqueGdiObject brush(::CreateSolidBrush(fill_));
        ::FillRect(dc, &area, static_cast<HBRUSH>(brush.get()));
    }
}

} // namespace win
