// Reads the string values of an executable's version block.
#pragma once
#include <array>
#include <string>

namespace win {

// The keys in the order the version reader holds them; index 2 is FileVersion.
inline constexpr std::array<const wchar_t*, 10> kVersionKeys = {
    L"CompanyName",      L"FileDescription",  L"FileVersion", L"InternalName", L"LegalCopyright",
    L"LegalTrademarks",  L"OriginalFilename", L"ProductName", L"ProductVersion", L"Comments"};
inline constexpr wchar_t kValueNotAvailable[] = L"Value Not Available";

// Values from the block's first translation; each missing value (or every
// value, when the file has no block) reads "Value Not Available".
std::array<std::wstring, 10> ReadVersionStrings(const std::wstring& path);

} // namespace win
