// Reads an executable's version block: the four numbers of its fixed file
// information and its named string values.
#pragma once
#include <cstdint>
#include <string>

namespace win {

inline constexpr wchar_t kValueNotAvailable[] = L"Value Not Available";

struct VersionInfo {
    // From the fixed file information; all 0 when the file has none.
    uint16_t major = 0, minor = 0, release = 0, build = 0;
    bool hasFixedInfo = false;
    // From the block's first translation; a missing value (or every value,
    // when the file has no block) reads "Value Not Available".
    std::wstring companyName = kValueNotAvailable;
    std::wstring fileDescription = kValueNotAvailable;
    std::wstring fileVersion = kValueNotAvailable;
    std::wstring internalName = kValueNotAvailable;
    std::wstring legalCopyright = kValueNotAvailable;
    std::wstring legalTrademarks = kValueNotAvailable;
    std::wstring originalFilename = kValueNotAvailable;
    std::wstring productName = kValueNotAvailable;
    std::wstring productVersion = kValueNotAvailable;
    std::wstring comments = kValueNotAvailable;

    // "major.minor.release.build" of the fixed information.
    std::wstring FixedVersionText() const;
};

// Never raises: a file that cannot be read gives the empty VersionInfo.
VersionInfo ReadVersionInfo(const std::wstring& path);

} // namespace win
