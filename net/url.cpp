#include "url.h"

#include <windows.h>
#include <wininet.h>

#include "url_text.h"

namespace au {
namespace {

// Capacities in characters, terminator included.
constexpr DWORD kSchemeChars = 33, kHostChars = 257, kUserChars = 129, kPasswordChars = 129, kPathChars = 2049,
                kExtraChars = 2049;

} // namespace

bool ParseURL(const std::wstring& url, std::wstring& scheme, std::wstring& host, uint16_t& port,
              std::wstring& userName, std::wstring& password, std::wstring& extraInfo,
              std::wstring& path) noexcept {
    try {
        const std::wstring full = WithDefaultScheme(url);
        if (full.find(L'\0') != std::wstring::npos || !WrittenPortFits(full)) return false;
        std::wstring schemeBuf(kSchemeChars, L'\0'), hostBuf(kHostChars, L'\0'), userBuf(kUserChars, L'\0'),
            passwordBuf(kPasswordChars, L'\0'), pathBuf(kPathChars, L'\0'), extraBuf(kExtraChars, L'\0');
        URL_COMPONENTSW parts{};
        parts.dwStructSize = sizeof(parts);
        parts.lpszScheme = schemeBuf.data();
        parts.dwSchemeLength = kSchemeChars;
        parts.lpszHostName = hostBuf.data();
        parts.dwHostNameLength = kHostChars;
        parts.lpszUserName = userBuf.data();
        parts.dwUserNameLength = kUserChars;
        parts.lpszPassword = passwordBuf.data();
        parts.dwPasswordLength = kPasswordChars;
        parts.lpszUrlPath = pathBuf.data();
        parts.dwUrlPathLength = kPathChars;
        parts.lpszExtraInfo = extraBuf.data();
        parts.dwExtraInfoLength = kExtraChars;
        // The escapes are decoded here, after the split, rather than by the
        // cracker's own flags: Wine ignores ICU_ESCAPE, and ICU_DECODE decodes
        // before splitting, so an escaped "@" or "/" would move the split.
        if (!::InternetCrackUrlW(full.c_str(), 0, 0, &parts)) return false;
        schemeBuf.resize(parts.dwSchemeLength);
        hostBuf.resize(parts.dwHostNameLength);
        userBuf.resize(parts.dwUserNameLength);
        passwordBuf.resize(parts.dwPasswordLength);
        pathBuf.resize(parts.dwUrlPathLength);
        extraBuf.resize(parts.dwExtraInfoLength);

        std::wstring newHost = DecodeURLEscapes(hostBuf), newUser = DecodeURLEscapes(userBuf),
                     newPassword = DecodeURLEscapes(passwordBuf), newExtra = DecodeURLEscapes(extraBuf),
                     newPath = DecodeURLEscapes(pathBuf);
        // Nothing below can fail: the outputs change all together or not at all.
        scheme.swap(schemeBuf);
        host.swap(newHost);
        port = parts.nPort;
        userName.swap(newUser);
        password.swap(newPassword);
        extraInfo.swap(newExtra);
        path.swap(newPath);
        return true;
    } catch (...) {
        return false;
    }
}

std::wstring URLToHostName(const std::wstring& url) noexcept {
    std::wstring scheme, host, user, password, extra, path;
    uint16_t port = 0;
    ParseURL(url, scheme, host, port, user, password, extra, path);
    return host;
}

} // namespace au
