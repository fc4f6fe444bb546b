// Small text rules the helpers share: trimming, ASCII case, integers and file
// name parts read the way the callers' texts were written. Free of platform
// headers so they are tested natively too.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace au {

// Trimming drops blanks and control characters (everything up to U+0020).
std::wstring Trim(std::wstring_view text);
std::wstring TrimLeft(std::wstring_view text);
std::wstring TrimRight(std::wstring_view text);

// Only ASCII letters change: the names compared here are all ASCII, and a
// locale-dependent mapping would make a lookup differ from machine to machine.
std::wstring UpperAscii(std::wstring_view text);
std::wstring LowerAscii(std::wstring_view text);

// A decimal integer with optional leading blanks and sign, nothing after it;
// nullopt when the text is not one or does not fit 32 bits.
std::optional<int32_t> ParseInt(std::wstring_view text);

// Up to `count` characters from `pos`, empty past the end (never throws).
std::wstring Mid(std::wstring_view text, size_t pos, size_t count);

// The extension of a file name with its dot (".exe"), taken after the last
// "\" or ":" only, so a dot in a directory name does not count; empty when
// the name has none.
std::wstring FileExtension(std::wstring_view path);
// What follows the last "\" or ":", and what comes up to and including it.
std::wstring FileNamePart(std::wstring_view path);
std::wstring DirectoryPart(std::wstring_view path);

} // namespace au
