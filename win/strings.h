// Conversions between UTF-16 and the system's ANSI code page.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace win {

// Characters the code page cannot hold become its substitute character, as
// the platform's default conversion does.
std::string ToAnsi(const std::wstring& text);
std::wstring FromAnsi(const std::string& text);
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// ToAnsi of `length` UTF-16 units straight into out, for hot paths that
// write into a caller's buffer and cannot afford an allocation per call.
// Writes no terminator and returns the bytes written: 0 for an empty text,
// and also 0 (out then holds no usable text) when the text needs more than
// `capacity` bytes or more units than the platform converts at once. Four
// bytes per unit always suffice.
size_t ToAnsiInto(const wchar_t* text, size_t length, char* out, size_t capacity) noexcept;

// The platform's message text for an error code, without the trailing line break.
std::wstring SystemMessage(uint32_t code);

// Full path of the running executable and its directory (with trailing '\').
std::wstring ExePath();
std::wstring ExeDir();

} // namespace win
