#include "locale_info.h"

#include <windows.h>

namespace win {

std::wstring LocaleTimeSeparator() {
    // The platform allows at most four characters and the terminator.
    wchar_t buf[16] = {};
    const int n = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, buf, 16);
    return n > 1 ? std::wstring(buf, n - 1) : std::wstring(L":");
}

} // namespace win
