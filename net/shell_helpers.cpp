#include "shell_helpers.h"

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <optional>
#include <vector>

#include "command_line.h"
#include "text.h"
#include "url_text.h"
#include "win/error.h"
#include "win/handles.h"
#include "win/registry.h"
#include "win/strings.h"

namespace au {
namespace {

constexpr wchar_t kDefaultContentType[] = L"application/octet-stream";
constexpr wchar_t kUserClasses[] = L"Software\\Classes\\";

// A key of the classes view. Windows' HKEY_CLASSES_ROOT already shows the
// user's own classes over the machine's; Wine's shows only the machine's, so
// a key it lacks is looked for among the user's classes as well.
std::optional<win::Registry> ClassKey(const std::wstring& path) {
    win::Registry merged(HKEY_CLASSES_ROOT, KEY_READ);
    if (merged.TryOpenKey(path, false)) return std::optional<win::Registry>(std::move(merged));
    win::Registry user(HKEY_CURRENT_USER, KEY_READ);
    if (user.TryOpenKey(kUserClasses + path, false)) return std::optional<win::Registry>(std::move(user));
    return std::nullopt;
}

// The subkey names of a class key in the registry's own order; nullopt when
// the key cannot be opened.
std::optional<std::vector<std::wstring>> ClassSubkeys(const std::wstring& path) {
    win::UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS &&
        ::RegOpenKeyExW(HKEY_CURRENT_USER, (kUserClasses + path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        const LONG rc = ::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) throw win::Error(L"Failed to list the subkeys of " + path, static_cast<uint32_t>(rc));
        names.emplace_back(name, length);
    }
    return names;
}

// The default value of a class key, empty when the key is missing.
std::wstring DefaultValue(const std::wstring& path) {
    auto key = ClassKey(path);
    return key ? key->ReadString(L"") : std::wstring();
}

std::wstring OpenCommand(const std::wstring& type) {
    if (auto open = ClassKey(type + L"\\shell\\open\\command")) return open->ReadString(L"");
    const auto verbs = ClassSubkeys(type + L"\\shell");
    if (!verbs) return {};
    for (const auto& verb : *verbs)
        if (LowerAscii(verb).find(L"open") != std::wstring::npos)
            return DefaultValue(type + L"\\shell\\" + verb + L"\\command");
    for (const auto& verb : *verbs) {
        std::wstring command = DefaultValue(type + L"\\shell\\" + verb + L"\\command");
        if (!command.empty()) return command;
    }
    return {};
}

} // namespace

std::wstring GetMIMEType(const std::wstring& extension) noexcept {
    try {
        if (extension.empty()) return kDefaultContentType;
        std::wstring name = LowerAscii(extension);
        if (name[0] != L'.') name.insert(0, 1, L'.');
        // An extension names one key; a "\" would reach into other keys.
        if (name.find(L'\\') != std::wstring::npos) return kDefaultContentType;
        const auto key = ClassKey(name);
        if (!key) return kDefaultContentType;
        const auto type = key->TryReadString(L"Content Type");
        // Read into a buffer of 260 bytes: a longer value does not count.
        if (type && (type->size() + 1) * sizeof(wchar_t) <= 260) return *type;
    } catch (...) {
    }
    return kDefaultContentType;
}

std::wstring GetAssociatedProgram(const std::wstring& extension) noexcept {
    try {
        if (extension.empty() || extension == L"." || extension.find(L'\\') != std::wstring::npos) return {};
        const std::wstring type = DefaultValue(extension);
        if (type.empty() || !ClassKey(type)) return {};
        std::wstring command = OpenCommand(type), parameters;
        return SplitCommandLine(command, parameters);
    } catch (...) {
        return {};
    }
}

void OpenURL(const std::wstring& url, bool useBrowser) noexcept {
    try {
        // The address comes from a server: any other scheme ("file://" of a
        // program) would be run by the shell, and a blank or quote would let
        // the text pass switches to the browser.
        const auto safe = ShellSafeURL(WithDefaultScheme(url));
        if (!safe) return;
        const HWND desktop = ::GetDesktopWindow();
        if (useBrowser) {
            const std::wstring browser = GetAssociatedProgram(L".html");
            if (!browser.empty()) {
                ::ShellExecuteW(desktop, L"open", browser.c_str(), safe->c_str(), nullptr, SW_SHOWNORMAL);
                return;
            }
        }
        ::ShellExecuteW(desktop, L"open", safe->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    } catch (...) {
    }
}

bool IsOnline() noexcept {
    win::UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\RemoteAccess", 0, KEY_READ,
                        key.put()) == ERROR_SUCCESS) {
        // Four bytes of any type: older systems kept the flag as binary data.
        DWORD value = 0, size = sizeof(value);
        if (::RegQueryValueExW(key.get(), L"Remote Connection", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                               &size) == ERROR_SUCCESS &&
            size == sizeof(value))
            return value == 1;
    }
    return HasNetworkAddress();
}

bool HasNetworkAddress() noexcept {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
    win::ScopeExit cleanup([] { ::WSACleanup(); });
    char name[64] = {};
    if (::gethostname(name, sizeof(name)) != 0) return false;
    const hostent* host = ::gethostbyname(name);
    if (!host || host->h_addrtype != AF_INET || host->h_length != sizeof(in_addr) || !host->h_addr_list ||
        !host->h_addr_list[0])
        return false;
    size_t last = 0;
    while (host->h_addr_list[last + 1]) ++last;
    in_addr address;
    std::memcpy(&address, host->h_addr_list[last], sizeof(address));
    const char* text = ::inet_ntoa(address);
    return text && *text && std::strcmp(text, "127.0.0.1") != 0;
}

bool IsDirectory(const std::wstring& path) noexcept {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring GetTempDirectory() noexcept {
    try {
        wchar_t buffer[MAX_PATH];
        const DWORD n = ::GetTempPathW(MAX_PATH, buffer);
        if (n > 0 && n < MAX_PATH) {
            std::wstring path(buffer, n);
            if (IsDirectory(path)) {
                if (path.back() != L'\\') path += L'\\';
                return path;
            }
        }
        return win::ExeDir();
    } catch (...) {
        return {};
    }
}

} // namespace au
