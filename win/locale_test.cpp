#include "win/locale_info.h"

#include <gtest/gtest.h>
#include <windows.h>

TEST(LocaleTimeSeparator, IsTheUsersChoice) {
    wchar_t buf[16] = {};
    const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIME, buf, 16);
    ASSERT_GT(n, 1);
    EXPECT_EQ(win::LocaleTimeSeparator(), std::wstring(buf, n - 1));
    EXPECT_FALSE(win::LocaleTimeSeparator().empty());
}
