#include "version.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace win {

std::wstring VersionInfo::FixedVersionText() const {
    return std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(release) + L"." +
           std::to_wstring(build);
}

VersionInfo ReadVersionInfo(const std::wstring& path) {
    VersionInfo info;
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return info;
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return info;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLen = 0;
    if (::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLen) && fixed &&
        fixedLen >= sizeof(VS_FIXEDFILEINFO) && fixed->dwSignature == 0xFEEF04BD) {
        info.major = HIWORD(fixed->dwFileVersionMS);
        info.minor = LOWORD(fixed->dwFileVersionMS);
        info.release = HIWORD(fixed->dwFileVersionLS);
        info.build = LOWORD(fixed->dwFileVersionLS);
        info.hasFixedInfo = true;
    }

    struct Translation { WORD language, codePage; };
    Translation* tr = nullptr;
    UINT trLen = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &trLen) ||
        trLen < sizeof(Translation))
        return info;
    const struct {
        const wchar_t* key;
        std::wstring VersionInfo::*field;
    } names[] = {
        {L"CompanyName", &VersionInfo::companyName},       {L"FileDescription", &VersionInfo::fileDescription},
        {L"FileVersion", &VersionInfo::fileVersion},       {L"InternalName", &VersionInfo::internalName},
        {L"LegalCopyright", &VersionInfo::legalCopyright}, {L"LegalTrademarks", &VersionInfo::legalTrademarks},
        {L"OriginalFilename", &VersionInfo::originalFilename}, {L"ProductName", &VersionInfo::productName},
        {L"ProductVersion", &VersionInfo::productVersion}, {L"Comments", &VersionInfo::comments},
    };
    for (const auto& n : names) {
        wchar_t sub[128];
        std::swprintf(sub, 128, L"\\StringFileInfo\\%04x%04x\\%ls", tr[0].language, tr[0].codePage, n.key);
        wchar_t* text = nullptr;
        UINT len = 0;
        if (::VerQueryValueW(block.data(), sub, reinterpret_cast<void**>(&text), &len) && text)
            (info.*n.field).assign(text, len && text[len - 1] == 0 ? len - 1 : len);
    }
    return info;
}

} // namespace win
