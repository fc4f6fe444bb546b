#include "window.h"

#include "error.h"
#include "placement.h"
#include "strings.h"

namespace win {
namespace {

constexpr wchar_t kFormClass[] = L"QuilletForm";
HINSTANCE g_instance = nullptr;
HWND g_mainForm = nullptr;

Control* ControlOf(HWND h) { return reinterpret_cast<Control*>(::GetWindowLongPtrW(h, GWLP_USERDATA)); }

bool PumpOne(MSG& msg) {
    HWND active = ::GetActiveWindow();
    if (active && ::IsDialogMessageW(active, &msg)) return true;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    return true;
}

} // namespace

void CenterWindow(HWND window, const RECT& area) {
    RECT r;
    ::GetWindowRect(window, &r);
    const Origin at = CenteredOrigin({area.left, area.top, area.right - area.left, area.bottom - area.top},
                                     r.right - r.left, r.bottom - r.top);
    ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool RegisterWindowClass(const WNDCLASSEXW& windowClass) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(windowClass.hInstance, windowClass.lpszClassName, &existing)) {
        if (existing.lpfnWndProc == windowClass.lpfnWndProc) return false;
        ::UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
    }
    if (!::RegisterClassExW(&windowClass)) RaiseLastError();
    return true;
}

HWND CreateHiddenWindow(const wchar_t* className, WNDPROC procedure, DWORD style, void* createParam) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.lpszClassName = className;
    const bool registered = RegisterWindowClass(wc);
    HWND window = ::CreateWindowExW(0, className, L"", style, 0, 0, 0, 0, nullptr, nullptr, instance, createParam);
    if (!window) {
        const DWORD code = ::GetLastError();
        if (registered) ::UnregisterClassW(className, instance);
        RaiseSystemError(code);
    }
    return window;
}

void Application::Initialize(HINSTANCE instance) {
    g_instance = instance;
    INITCOMMONCONTROLSEX icc{sizeof(icc),
                             ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &Form::WndProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    RegisterWindowClass(wc);
}

HINSTANCE Application::Instance() { return g_instance ? g_instance : ::GetModuleHandleW(nullptr); }

int Application::Run(Form& mainForm) {
    g_mainForm = mainForm.Handle();
    mainForm.Show();
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) PumpOne(msg);
    return static_cast<int>(msg.wParam);
}

void Application::ProcessMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        PumpOne(msg);
    }
}

std::wstring Application::Title() {
    std::wstring path = ExePath();
    std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    auto dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

void Application::ShowException(const std::exception& e) {
    HWND owner = ::GetActiveWindow();
    ::MessageBoxW(owner, MessageOf(e).c_str(), Title().c_str(), MB_OK | MB_ICONERROR);
}

// ---- forms ----------------------------------------------------------------

Form::Form() = default;

Form::~Form() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

void Form::CreateWindowFor(const FormStyle& style, HWND owner) {
    // Programs that never ran Application::Initialize still get the class.
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!::GetClassInfoExW(Application::Instance(), kFormClass, &existing))
        Application::Initialize(Application::Instance());
    whiteBackground_ = style.whiteBackground;
    centerOnScreen_ = style.centerOnScreen;
    DWORD ws = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | (style.dialogFrame ? 0 : WS_MINIMIZEBOX);
    DWORD ex = WS_EX_CONTROLPARENT | (owner || style.dialogFrame ? WS_EX_DLGMODALFRAME : 0);
    RECT r{0, 0, style.clientWidth, style.clientHeight};
    ::AdjustWindowRectEx(&r, ws, FALSE, ex);
    hwnd_ = ::CreateWindowExW(ex, kFormClass, style.caption.c_str(), ws, CW_USEDEFAULT, CW_USEDEFAULT,
                              r.right - r.left, r.bottom - r.top, owner, nullptr, Application::Instance(), this);
    if (!hwnd_) RaiseLastError();
    font_.reset(::CreateFontW(style.fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, style.fontCharset,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              style.fontName.c_str()));
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
}

HFONT Form::BoldFont() {
    if (!boldFont_) {
        LOGFONTW lf{};
        ::GetObjectW(font_.get(), sizeof lf, &lf);
        lf.lfWeight = FW_BOLD;
        boldFont_.reset(::CreateFontIndirectW(&lf));
    }
    return static_cast<HFONT>(boldFont_.get());
}

void Form::MakeTopMost() {
    ::SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Form::SetClientSize(int width, int height) {
    RECT r{0, 0, width, height};
    ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    ::SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE Form::ClientSize() const {
    RECT r{};
    ::GetClientRect(hwnd_, &r);
    return {r.right - r.left, r.bottom - r.top};
}

void Form::SetDefaultButton(Button& button) {
    if (defaultButton_) ::SendMessageW(defaultButton_->Handle(), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    defaultButton_ = &button;
    ::SendMessageW(button.Handle(), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void Form::SetCaption(const std::wstring& caption) { ::SetWindowTextW(hwnd_, caption.c_str()); }

std::wstring Form::Caption() const {
    Control c(hwnd_);
    return c.Text();
}

void Form::CenterOnScreen() {
    RECT work;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    CenterWindow(hwnd_, work);
}

void Form::CenterOn(HWND other) {
    RECT o;
    ::GetWindowRect(other, &o);
    CenterWindow(hwnd_, o);
}

void Form::Show() {
    ::ShowWindow(hwnd_, SW_SHOW);
    ::UpdateWindow(hwnd_);
    if (OnShow) OnShow(*this);
}

void Form::Close() { ::PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

int Form::ShowModal(HWND owner) {
    if (modal_) return 0;
    modal_ = true;
    modalDone_ = false;
    modalResult_ = 0;
    if (centerOnScreen_) CenterOnScreen();
    if (owner) {
        ::SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
        if (!centerOnScreen_) CenterOn(owner);
        ::EnableWindow(owner, FALSE);
    }
    Show();
    ::SetForegroundWindow(hwnd_);
    bool quit = false;
    int quitCode = 0;
    MSG msg;
    while (!modalDone_) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) { quit = true; quitCode = static_cast<int>(msg.wParam); break; }
        PumpOne(msg);
    }
    if (owner) ::EnableWindow(owner, TRUE);
    ::ShowWindow(hwnd_, SW_HIDE);
    if (owner) ::SetActiveWindow(owner);
    modal_ = false;
    if (quit) ::PostQuitMessage(quitCode);
    return modalResult_ ? modalResult_ : IDCANCEL;
}

HWND Form::MakeChild(const wchar_t* cls, const std::wstring& text, DWORD style, DWORD exStyle, int x, int y, int w,
                     int h) {
    HWND child = ::CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, x, y, w,
                                   h, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId_++)),
                                   Application::Instance(), nullptr);
    if (!child) RaiseLastError();
    // Group boxes stay beneath every sibling so that the controls they frame,
    // created after them, are not clipped away.
    for (HWND box : groupBoxes_)
        ::SetWindowPos(box, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    return child;
}

template <typename T>
T& Form::Own(HWND h) {
    auto owned = std::make_unique<T>(h);
    T& ref = *owned;
    ::SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<Control*>(&ref)));
    controls_.push_back(std::move(owned));
    return ref;
}

Button& Form::AddButton(const std::wstring& caption, int x, int y, int w, int h) {
    return Own<Button>(MakeChild(WC_BUTTONW, caption, WS_TABSTOP | BS_PUSHBUTTON, 0, x, y, w, h));
}

Control& Form::AddGroupBox(const std::wstring& caption, int x, int y, int w, int h) {
    HWND box = MakeChild(WC_BUTTONW, caption, BS_GROUPBOX, 0, x, y, w, h);
    groupBoxes_.push_back(box);
    return Own<Control>(box);
}

Memo& Form::AddMemo(int x, int y, int w, int h, bool readOnly, bool border) {
    HWND e = MakeChild(WC_EDITW, L"",
                       WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN |
                           (readOnly ? ES_READONLY : 0),
                       border ? WS_EX_CLIENTEDGE : 0, x, y, w, h);
    ::SendMessageW(e, EM_SETLIMITTEXT, 0, 0);
    return Own<Memo>(e);
}

ListView& Form::AddListView(int x, int y, int w, int h, DWORD extraStyle, DWORD exStyle) {
    HWND lv = MakeChild(WC_LISTVIEWW, L"", WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | extraStyle, WS_EX_CLIENTEDGE,
                        x, y, w, h);
    if (exStyle) ::SendMessageW(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, exStyle, exStyle);
    return Own<ListView>(lv);
}

Label& Form::AddLabel(const std::wstring& text, int x, int y, int w, int h, DWORD style, bool bold) {
    Label& label = Own<Label>(MakeChild(WC_STATICW, text, SS_NOPREFIX | style, 0, x, y, w, h));
    if (bold) ::SendMessageW(label.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(BoldFont()), TRUE);
    return label;
}

ProgressBar& Form::AddProgressBar(int x, int y, int w, int h) {
    return Own<ProgressBar>(MakeChild(PROGRESS_CLASSW, L"", 0, 0, x, y, w, h));
}

Edit& Form::AddEdit(int x, int y, int w, int h, bool password) {
    HWND e = MakeChild(WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL | (password ? ES_PASSWORD : 0), WS_EX_CLIENTEDGE,
                       x, y, w, h);
    if (password) ::SendMessageW(e, EM_SETPASSWORDCHAR, L'*', 0);
    return Own<Edit>(e);
}

Picture& Form::AddPicture(int x, int y, int w, int h) {
    return Own<Picture>(MakeChild(WC_STATICW, L"", SS_OWNERDRAW, 0, x, y, w, h));
}

StatusBar& Form::AddStatusBar() {
    HWND bar = MakeChild(STATUSCLASSNAMEW, L"", 0, 0, 0, 0, 0, 0);
    // Docked at the bottom above whatever reaches down there.
    ::SetWindowPos(bar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return Own<StatusBar>(bar);
}

void Form::SetTimer(UINT_PTR id, UINT ms, std::function<void()> tick) {
    timers_[id] = std::move(tick);
    ::SetTimer(hwnd_, id, ms, nullptr);
}

void Form::Click(Button& button) {
    if (button.OnClick) button.OnClick(button);
    if (button.ModalResult() && modal_ && ::IsWindow(hwnd_)) {
        modalResult_ = button.ModalResult();
        modalDone_ = true;
    }
}

LRESULT Form::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED && lp) {
            if (auto* b = dynamic_cast<Button*>(ControlOf(reinterpret_cast<HWND>(lp)))) {
                Click(*b);
                return 0;
            }
        }
        // Enter and Escape, as the dialog manager reports them.
        if (LOWORD(wp) == IDOK && !lp && defaultButton_) { Click(*defaultButton_); return 0; }
        if (LOWORD(wp) == IDCANCEL && !lp && cancelButton_) { Click(*cancelButton_); return 0; }
        // Escape dismisses a modal window; it must not end the program.
        if (LOWORD(wp) == IDCANCEL && !lp && modal_) { Close(); return 0; }
        break;
    case DM_GETDEFID:
        if (defaultButton_) return MAKELRESULT(defaultButton_->Id(), DC_HASDEFID);
        break;
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        if (auto* picture = dynamic_cast<Picture*>(ControlOf(item->hwndItem))) {
            if (whiteBackground_)
                ::FillRect(item->hDC, &item->rcItem, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
            picture->Draw(item->hDC, item->rcItem);
            return TRUE;
        }
        break;
    }
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        auto* lv = dynamic_cast<ListView*>(ControlOf(hdr->hwndFrom));
        if (lv && hdr->code == NM_CUSTOMDRAW && lv->OnCustomDrawSubItem) {
            auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(lp);
            switch (cd->nmcd.dwDrawStage) {
            case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
            case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
            case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
                lv->OnCustomDrawSubItem(*lv, static_cast<int>(cd->nmcd.dwItemSpec), cd->iSubItem, *cd);
                return CDRF_NEWFONT;
            default: return CDRF_DODEFAULT;
            }
        }
        break;
    }
    case WM_TIMER:
        if (auto it = timers_.find(wp); it != timers_.end()) { it->second(); return 0; }
        break;
    case WM_CTLCOLORSTATIC:
        if (auto* label = dynamic_cast<Label*>(ControlOf(reinterpret_cast<HWND>(lp)));
            label && label->Color() != CLR_INVALID)
            ::SetTextColor(reinterpret_cast<HDC>(wp), label->Color());
        if (whiteBackground_) {
            // Group boxes and read-only texts on a white form paint white too.
            ::SetBkColor(reinterpret_cast<HDC>(wp), RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
        }
        break;
    case WM_ERASEBKGND:
        if (whiteBackground_) {
            RECT r;
            ::GetClientRect(hwnd_, &r);
            ::FillRect(reinterpret_cast<HDC>(wp), &r, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
            return 1;
        }
        break;
    case WM_SIZE:
        for (auto& c : controls_)
            if (dynamic_cast<StatusBar*>(c.get())) ::SendMessageW(c->Handle(), WM_SIZE, 0, 0);
        break;
    case WM_CLOSE: {
        bool canClose = true;
        if (OnCloseQuery) OnCloseQuery(*this, canClose);
        if (!canClose) return 0;
        if (OnClose) OnClose(*this);
        if (modal_) { modalDone_ = true; return 0; }
        ::DestroyWindow(hwnd_);
        return 0;
    }
    case WM_DESTROY:
        for (auto& t : timers_) ::KillTimer(hwnd_, t.first);
        if (hwnd_ == g_mainForm) ::PostQuitMessage(0);
        break;
    }
    return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK Form::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        auto* self = static_cast<Form*>(cs->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Form*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    // Nothing may unwind through user32: an error that escapes a handler is
    // shown to the user here and the message counts as handled.
    try {
        return self->HandleMessage(msg, wp, lp);
    } catch (const std::exception& e) {
        Application::ShowException(e);
        return 0;
    }
}

} // namespace win
