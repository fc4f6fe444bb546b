// Splitting URLs through the platform's URL cracker.
#pragma once
#include <cstdint>
#include <string>

namespace au {

// Splits `url` ("http://" is put in front when it has no "://"): scheme,
// host, port (the explicit one or the scheme's default), user name,
// password, extra information (query and fragment) and path, with %xx
// escapes decoded. A component longer than the cracker's buffer (scheme 32,
// host 256, user name and password 128, path and extra information 2048
// characters) makes it fail; on failure the outputs keep their values.
bool ParseURL(const std::wstring& url, std::wstring& scheme, std::wstring& host, uint16_t& port,
              std::wstring& userName, std::wstring& password, std::wstring& extraInfo,
              std::wstring& path) noexcept;

// The host of ParseURL, empty when the URL cannot be split.
std::wstring URLToHostName(const std::wstring& url) noexcept;

} // namespace au
