#include "win/window.h"

#include <gtest/gtest.h>

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

} // namespace
