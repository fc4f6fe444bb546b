#include "version.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace win {

std::array<std::wstring, 10> ReadVersionStrings(const std::wstring& path) {
    std::array<std::wstring, 10> values;
    values.fill(kValueNotAvailable);
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return values;
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return values;
    struct Translation { WORD language, codePage; };
    Translation* tr = nullptr;
    UINT trLen = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &trLen) ||
        trLen < sizeof(Translation))
        return values;
    for (size_t i = 0; i < kVersionKeys.size(); ++i) {
        wchar_t sub[128];
        std::swprintf(sub, 128, L"\\StringFileInfo\\%04x%04x\\%ls", tr[0].language, tr[0].codePage, kVersionKeys[i]);
        wchar_t* text = nullptr;
        UINT len = 0;
        if (::VerQueryValueW(block.data(), sub, reinterpret_cast<void**>(&text), &len) && text)
            values[i].assign(text, len && text[len - 1] == 0 ? len - 1 : len);
    }
    return values;
}

} // namespace win
