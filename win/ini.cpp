#include "ini.h"

#include <windows.h>

namespace win {

std::wstring ReadIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                           const wchar_t* fallback) {
    // No settings value has reason to be longer; past this the value is cut
    // rather than read again without end.
    constexpr size_t kLongest = 1u << 20;
    std::wstring buf(256, L'\0');
    for (;;) {
        const DWORD n = ::GetPrivateProfileStringW(section, key, fallback, buf.data(), static_cast<DWORD>(buf.size()),
                                                   file.c_str());
        // The platform answers size - 1 for a value it had to cut short; it
        // may also have fit exactly, which a larger buffer tells apart.
        if (n + 1 < buf.size() || buf.size() >= kLongest) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 4);
    }
}

} // namespace win
