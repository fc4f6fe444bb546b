#include <windows.h>

#include "form_data.h"
#include "shell_helpers.h"
#include "win/strings.h"

namespace au {
namespace {

// The user's own writing of the date (short form) or time of `now`.
std::wstring Formatted(bool date, const SYSTEMTIME& now) {
    auto format = [&](wchar_t* buffer, int size) {
        return date ? ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, buffer, size)
                    : ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, nullptr, buffer, size);
    };
    const int n = format(nullptr, 0);
    if (n <= 0) return {};
    std::wstring text(static_cast<size_t>(n), L'\0');
    const int got = format(text.data(), n);
    text.resize(got > 0 ? static_cast<size_t>(got - 1) : 0);
    return text;
}

} // namespace

std::wstring MakeBoundary(wchar_t c) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    // One reading of the clock for both, so a boundary made at midnight does
    // not mix two days.
    return MakeBoundaryFrom(c, Formatted(true, now) + L" " + Formatted(false, now));
}

std::string MultipartFormBody(const std::wstring& boundary, const std::vector<FormField>& fields) {
    return MultipartFormBody(boundary, fields, FormTextRules{win::ToAnsi, GetMIMEType});
}

} // namespace au
