#include "selfupgrade_protocol.h"

#include <algorithm>

namespace selfupgrade {
namespace {

constexpr size_t kSuffixLength = sizeof(kDownloadSuffix) / sizeof(wchar_t) - 1;

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

} // namespace

std::wstring RestartArgument(const std::wstring& restartParams, ApplyMethod method) {
    return L"+" + restartParams + (method == ApplyMethod::kExternalSetup ? L"1" : L"0");
}

ApplyMethod MethodOf(const std::wstring& restartArgument) {
    return !restartArgument.empty() && restartArgument.back() == L'1' ? ApplyMethod::kExternalSetup
                                                                     : ApplyMethod::kSelfUpgrade;
}

bool IsRestartArgument(const std::wstring& argument, const std::wstring& restartParams) {
    if (argument == restartParams) return true;
    return argument.size() == restartParams.size() + 1 && argument.starts_with(restartParams) &&
           (argument.back() == L'0' || argument.back() == L'1');
}

std::wstring CommandLine(const std::wstring& selfUpgradePath, const std::wstring& programPath,
                         const std::wstring& restartArgument) {
    return L"\"" + selfUpgradePath + L"\" \"" + programPath + L"\" " + restartArgument;
}

bool IsDownloadName(const std::wstring& name) {
    if (name.size() <= kSuffixLength) return false;
    return std::equal(name.end() - kSuffixLength, name.end(), kDownloadSuffix,
                      [](wchar_t a, wchar_t b) { return AsciiLower(a) == AsciiLower(b); });
}

std::wstring ReplacedName(const std::wstring& downloadName) {
    return IsDownloadName(downloadName) ? downloadName.substr(0, downloadName.size() - kSuffixLength) : downloadName;
}

} // namespace selfupgrade
