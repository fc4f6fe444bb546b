// What the HTTP client and the upgrade ask of the shell and the system: the
// content type and program of a file extension, the browser, a network
// presence check and the temporary directory. None of them raises.
#pragma once
#include <string>

namespace au {

// The "Content Type" of the extension's class key ("TXT" looks up ".txt"),
// "application/octet-stream" when there is none.
std::wstring GetMIMEType(const std::wstring& extension) noexcept;

// The program of the extension's document type's open command (or of the
// first command that has one), empty when there is none.
std::wstring GetAssociatedProgram(const std::wstring& extension) noexcept;

// Opens the URL ("http://" is put in front when it has no "://") in the
// program registered for .html when `useBrowser` is set and there is one,
// else through the shell. Only http and https addresses are opened.
void OpenURL(const std::wstring& url, bool useBrowser) noexcept;

// The remote-access service's "Remote Connection" flag when it is recorded,
// else HasNetworkAddress.
bool IsOnline() noexcept;
// Whether the local host name resolves to an address other than 127.0.0.1.
bool HasNetworkAddress() noexcept;

// The temporary directory with a trailing backslash, or the program's own
// directory when the temporary one does not exist.
std::wstring GetTempDirectory() noexcept;
bool IsDirectory(const std::wstring& path) noexcept;

} // namespace au
