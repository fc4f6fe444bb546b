// Conversions between UTF-16 and the system's ANSI code page.
#pragma once
#include <cstdint>
#include <string>

namespace win {

// Characters the code page cannot hold become its substitute character, as
// the platform's default conversion does.
std::string ToAnsi(const std::wstring& text);
std::wstring FromAnsi(const std::string& text);
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// The platform's message text for an error code, without the trailing line break.
std::wstring SystemMessage(uint32_t code);

// Full path of the running executable and its directory (with trailing '\').
std::wstring ExePath();
std::wstring ExeDir();

} // namespace win
