#include "win/window.h"

#include <gtest/gtest.h>

#include "win/error.h"

namespace {

RECT WindowRect(HWND h) {
    RECT r{};
    ::GetWindowRect(h, &r);
    return r;
}

class Centring : public ::testing::Test {
protected:
    static void SetUpTestSuite() { win::Application::Initialize(::GetModuleHandleW(nullptr)); }
};

TEST_F(Centring, WindowGoesToTheMiddleOfTheAreaKeepingItsSize) {
    win::Form form;
    form.CreateWindowFor({L"c", 200, 100});
    const RECT before = WindowRect(form.Handle());
    const int w = before.right - before.left, h = before.bottom - before.top;
    win::CenterWindow(form.Handle(), RECT{100, 50, 100 + w + 400, 50 + h + 300});
    const RECT after = WindowRect(form.Handle());
    EXPECT_EQ(after.left, 300);
    EXPECT_EQ(after.top, 200);
    EXPECT_EQ(after.right - after.left, w);
    EXPECT_EQ(after.bottom - after.top, h);
}

TEST_F(Centring, FormOverAnotherAndOnTheWorkArea) {
    win::Form big, small;
    big.CreateWindowFor({L"big", 600, 400});
    small.CreateWindowFor({L"small", 200, 100});
    ::SetWindowPos(big.Handle(), nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    small.CenterOn(big.Handle());
    const RECT b = WindowRect(big.Handle()), s = WindowRect(small.Handle());
    EXPECT_EQ(s.left, b.left + ((b.right - b.left) - (s.right - s.left)) / 2);
    EXPECT_EQ(s.top, b.top + ((b.bottom - b.top) - (s.bottom - s.top)) / 2);

    RECT work;
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    small.CenterOnScreen();
    const RECT c = WindowRect(small.Handle());
    EXPECT_EQ(c.left, work.left + ((work.right - work.left) - (c.right - c.left)) / 2);
    EXPECT_EQ(c.top, work.top + ((work.bottom - work.top) - (c.bottom - c.top)) / 2);
}

// Each procedure answers a message of its own with its own number, so a
// window shows which procedure its class routes to.
constexpr UINT kWhoAnswers = WM_APP + 1;
LRESULT CALLBACK FirstProcedure(HWND h, UINT m, WPARAM w, LPARAM l) {
    return m == kWhoAnswers ? 1 : ::DefWindowProcW(h, m, w, l);
}
LRESULT CALLBACK SecondProcedure(HWND h, UINT m, WPARAM w, LPARAM l) {
    return m == kWhoAnswers ? 2 : ::DefWindowProcW(h, m, w, l);
}
LRESULT CALLBACK RefusingProcedure(HWND h, UINT m, WPARAM w, LPARAM l) {
    return m == WM_NCCREATE ? FALSE : ::DefWindowProcW(h, m, w, l);
}

bool ClassRegistered(const wchar_t* name) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    return ::GetClassInfoExW(::GetModuleHandleW(nullptr), name, &wc) != 0;
}

void Unregister(const wchar_t* name) { ::UnregisterClassW(name, ::GetModuleHandleW(nullptr)); }

TEST(HiddenWindow, ClassIsRegisteredOnceForManyWindows) {
    constexpr wchar_t kName[] = L"QuilletTestHiddenOnce";
    HWND first = win::CreateHiddenWindow(kName, FirstProcedure);
    HWND second = win::CreateHiddenWindow(kName, FirstProcedure, WS_POPUP);
    EXPECT_NE(first, second);
    EXPECT_FALSE(::IsWindowVisible(second));
    EXPECT_EQ(::SendMessageW(second, kWhoAnswers, 0, 0), 1);
    ::DestroyWindow(first);
    ::DestroyWindow(second);
    Unregister(kName);
}

TEST(HiddenWindow, ClassOfAnotherProcedureIsReplacedOrRefusedWithTheCode) {
    constexpr wchar_t kName[] = L"QuilletTestHiddenOther";
    HWND old = win::CreateHiddenWindow(kName, FirstProcedure);
    try {
        win::CreateHiddenWindow(kName, SecondProcedure);
        ADD_FAILURE() << "a class with live windows of another procedure was taken";
    } catch (const win::Error& e) {
        EXPECT_EQ(e.Code(), static_cast<uint32_t>(ERROR_CLASS_ALREADY_EXISTS));
    }
    ::DestroyWindow(old);
    HWND window = win::CreateHiddenWindow(kName, SecondProcedure);
    EXPECT_EQ(::SendMessageW(window, kWhoAnswers, 0, 0), 2) << "the messages reach the new procedure";
    ::DestroyWindow(window);
    Unregister(kName);
}

TEST(HiddenWindow, WindowThatCannotBeMadeRaisesAndLeavesNoClass) {
    constexpr wchar_t kName[] = L"QuilletTestHiddenRefused";
    EXPECT_THROW(win::CreateHiddenWindow(kName, RefusingProcedure), win::Error);
    EXPECT_FALSE(ClassRegistered(kName));
}

} // namespace
