#include "uiprobe.h"

#include <commctrl.h>

#include <stdexcept>

#include "win/error.h"
#include "win/strings.h"

namespace uiprobe {

Program::Program(const std::wstring& exe, const std::wstring& args, const std::wstring& dir) {
    win::StartOptions options;
    options.application = exe;
    options.directory = dir;
    try {
        process_ = win::StartProcess(L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args), options);
    } catch (const win::Error&) {
        throw std::runtime_error("cannot start " + win::ToUtf8(exe));
    }
}

// Unlike the hidden runner the program is shown and stays running while the
// test drives it; only the end of the test ends it.
Program::~Program() { process_.TryTerminate(1, 5s); }

bool Program::WaitExit(std::chrono::milliseconds timeout) { return process_.TryWait(timeout); }

DWORD Program::ExitCode() const { return process_.TryExitCode().value_or(0); }

void Pause(std::chrono::milliseconds ms) {
    auto end = std::chrono::steady_clock::now() + ms;
    while (std::chrono::steady_clock::now() < end) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(20);
    }
}

std::wstring Text(HWND hwnd) {
    DWORD_PTR len = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &len)) return {};
    std::wstring s(len + 1, L'\0');
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()), SMTO_ABORTIFHUNG, 5000,
                          &got);
    s.resize(got);
    return s;
}

namespace {

std::wstring ClassOf(HWND h) {
    wchar_t buf[256] = {};
    ::GetClassNameW(h, buf, 256);
    return buf;
}

struct EnumState {
    DWORD pid;
    std::wstring cls;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND h, LPARAM lp) {
    auto* st = reinterpret_cast<EnumState*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if ((st->pid == 0 || pid == st->pid) && ::IsWindowVisible(h) && (st->cls.empty() || ClassOf(h) == st->cls)) st->found.push_back(h);
    return TRUE;
}

// Memory in the other process for list-view messages that carry pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HWND owner, size_t size) : size_(size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(owner, &pid);
        process_.reset(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
        if (!process_) throw std::runtime_error("OpenProcess failed");
        mem_ = ::VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE);
        if (!mem_) throw std::runtime_error("VirtualAllocEx failed");
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    ~RemoteBuffer() { ::VirtualFreeEx(process_.get(), mem_, 0, MEM_RELEASE); }
    void* Address() const { return mem_; }
    void Write(const void* data, size_t n, size_t offset = 0) {
        ::WriteProcessMemory(process_.get(), static_cast<char*>(mem_) + offset, data, n, nullptr);
    }
    void Read(void* data, size_t n, size_t offset = 0) const {
        ::ReadProcessMemory(process_.get(), static_cast<char*>(mem_) + offset, data, n, nullptr);
    }

private:
    win::UniqueHandle process_;
    void* mem_ = nullptr;
    size_t size_;
};

LRESULT Send(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

} // namespace

std::vector<HWND> TopLevelWindows(DWORD pid, const std::wstring& className) {
    EnumState st{pid, className, {}};
    ::EnumWindows(&CollectTop, reinterpret_cast<LPARAM>(&st));
    return st.found;
}

HWND WaitForWindow(DWORD pid, const std::wstring& className, const std::wstring& caption,
                   std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    do {
        for (HWND h : TopLevelWindows(pid, className))
            if (caption.empty() || Text(h) == caption) return h;
        Pause(100ms);
    } while (std::chrono::steady_clock::now() < end);
    return nullptr;
}

HWND FindChild(HWND parent, const std::wstring& className, const std::wstring& text) {
    HWND child = nullptr;
    while ((child = ::FindWindowExW(parent, child, className.empty() ? nullptr : className.c_str(), nullptr))) {
        if (text.empty() || Text(child) == text) return child;
    }
    return nullptr;
}

void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

MessageBoxInfo WaitForMessageBox(DWORD pid, std::chrono::milliseconds timeout) {
    MessageBoxInfo info;
    info.hwnd = WaitForWindow(pid, L"#32770", L"", timeout);
    if (!info.hwnd) return info;
    Pause(200ms);  // let the box finish laying out its controls
    info.caption = Text(info.hwnd);
    if (HWND text = ::GetDlgItem(info.hwnd, 0xFFFF)) info.text = Text(text);
    for (HWND c = ::GetWindow(info.hwnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        std::wstring cls = ClassOf(c);
        if (cls == L"Button" && ::IsWindowVisible(c)) info.buttons.push_back(Text(c));
        if (cls == L"Static" && (::GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            Send(c, STM_GETICON, 0, 0) != 0)
            info.hasIcon = true;
    }
    return info;
}

void Answer(const MessageBoxInfo& box, int id) {
    if (HWND b = ::GetDlgItem(box.hwnd, id)) Click(b);
    else ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

int ListViewRowCount(HWND lv) { return static_cast<int>(Send(lv, LVM_GETITEMCOUNT, 0, 0)); }

std::wstring ListViewCell(HWND lv, int row, int column) {
    constexpr int kChars = 2048;
    RemoteBuffer buf(lv, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(buf.Address()) + sizeof(LVITEMW));
    buf.Write(&item, sizeof(item));
    int n = static_cast<int>(Send(lv, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(buf.Address())));
    std::wstring s(kChars, L'\0');
    buf.Read(s.data(), kChars * sizeof(wchar_t), sizeof(LVITEMW));
    s.resize(n > 0 ? n : 0);
    return s;
}

std::vector<std::wstring> ListViewHeaders(HWND lv) {
    std::vector<std::wstring> out;
    HWND hdr = reinterpret_cast<HWND>(Send(lv, LVM_GETHEADER, 0, 0));
    int n = hdr ? static_cast<int>(Send(hdr, HDM_GETITEMCOUNT, 0, 0)) : 0;
    constexpr int kChars = 256;
    RemoteBuffer buf(lv, sizeof(LVCOLUMNW) + kChars * sizeof(wchar_t));
    for (int i = 0; i < n; ++i) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.cchTextMax = kChars;
        col.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(buf.Address()) + sizeof(LVCOLUMNW));
        std::wstring zero(kChars, L'\0');
        buf.Write(zero.data(), kChars * sizeof(wchar_t), sizeof(LVCOLUMNW));
        buf.Write(&col, sizeof(col));
        Send(lv, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(buf.Address()));
        std::wstring s(kChars, L'\0');
        buf.Read(s.data(), kChars * sizeof(wchar_t), sizeof(LVCOLUMNW));
        s.resize(s.find(L'\0'));
        out.push_back(s);
    }
    return out;
}

std::vector<int> ListViewColumnWidths(HWND lv) {
    std::vector<int> out;
    HWND hdr = reinterpret_cast<HWND>(Send(lv, LVM_GETHEADER, 0, 0));
    int n = hdr ? static_cast<int>(Send(hdr, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < n; ++i) out.push_back(static_cast<int>(Send(lv, LVM_GETCOLUMNWIDTH, i, 0)));
    return out;
}

void ListViewSelect(HWND lv, int row) {
    RemoteBuffer buf(lv, sizeof(LVITEMW));
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    buf.Write(&item, sizeof(item));
    Send(lv, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(buf.Address()));
}

COLORREF ListViewPixel(HWND lv, int x, int y) {
    HDC dc = ::GetDC(lv);
    COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(lv, dc);
    return c;
}

int CountPixels(HWND hwnd, const std::function<bool(BYTE r, BYTE g, BYTE b)>& match) {
    RECT r;
    if (!::GetWindowRect(hwnd, &r)) return 0;
    HDC screen = ::GetDC(nullptr);
    win::ScopeExit releaseScreen([screen] { ::ReleaseDC(nullptr, screen); });
    int count = 0;
    // One blit, then a scan of the copy: GetPixel on the screen per pixel is slow.
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC mem = ::CreateCompatibleDC(screen);
    win::ScopeExit deleteMem([mem] { ::DeleteDC(mem); });
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win::UniqueGdiObject dib(::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (dib && w > 0 && h > 0) {
        HGDIOBJ old = ::SelectObject(mem, dib.get());
        ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        ::SelectObject(mem, old);
        const auto* px = static_cast<const DWORD*>(bits);
        for (int i = 0; i < w * h; ++i)
            if (match(static_cast<BYTE>(px[i] >> 16), static_cast<BYTE>(px[i] >> 8), static_cast<BYTE>(px[i])))
                ++count;
    }
    return count;
}

bool SaveScreenshot(HWND hwnd, const std::wstring& path) {
    RECT r;
    if (!::GetWindowRect(hwnd, &r)) return false;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    HDC screen = ::GetDC(nullptr);
    win::ScopeExit releaseScreen([screen] { ::ReleaseDC(nullptr, screen); });
    HDC mem = ::CreateCompatibleDC(screen);
    win::ScopeExit deleteMem([mem] { ::DeleteDC(mem); });
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win::UniqueGdiObject dib(::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    bool ok = false;
    if (dib) {
        HGDIOBJ old = ::SelectObject(mem, dib.get());
        ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        ::SelectObject(mem, old);
        DWORD stride = ((w * 3 + 3) / 4) * 4;
        DWORD imageSize = stride * h;
        BITMAPFILEHEADER fh{};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof(fh) + sizeof(BITMAPINFOHEADER);
        fh.bfSize = fh.bfOffBits + imageSize;
        win::UniqueHFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (file) {
            DWORD written = 0;
            ok = ::WriteFile(file.get(), &fh, sizeof(fh), &written, nullptr) &&
                 ::WriteFile(file.get(), &bi.bmiHeader, sizeof(BITMAPINFOHEADER), &written, nullptr) &&
                 ::WriteFile(file.get(), bits, imageSize, &written, nullptr);
        }
    }
    return ok;
}

} // namespace uiprobe
