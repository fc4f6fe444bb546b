// Settings files read through the platform's profile functions, which match
// section and key names as users expect and read the file in the ANSI code
// page or, with a byte-order mark, as UTF-16.
#pragma once
#include <string>

namespace win {

// The whole value of `key` in `section` of `file`, however long; `fallback`
// when the file, the section or the key is missing. A relative `file` is
// looked for in the Windows directory, as the platform does.
std::wstring ReadIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                           const wchar_t* fallback);

} // namespace win
