// Decisions of the repair operations that need no platform: how list entries
// are classified and split, which registry names they map to, and the exact
// registration command lines.
#pragma once
#include <array>
#include <string>
#include <vector>

namespace repair {

// "启用信任站点ACTIVEX失败！写入注册表失败！"
extern const wchar_t kRegistryFailure[];

// Zone 2 of the current user's Internet settings.
extern const wchar_t kZoneKey[];
struct ZoneAction {
    const wchar_t* valueName;
    const wchar_t* logLine;
};
extern const std::array<ZoneAction, 12> kZoneActions;

extern const wchar_t kDomainsKey[];
extern const wchar_t kRangesKey[];

// "Domain" or "IP", judged by the last dot-separated label only.
std::wstring ClassifyHost(const std::wstring& entry);

// Entries of the comma-separated list in order; an empty list has none.
std::vector<std::wstring> SplitSiteList(const std::wstring& list);

struct HostSplit {
    std::wstring domain;  // the last two labels
    std::wstring host;    // everything before them, dots kept
};
HostSplit SplitHost(const std::wstring& entry);

// Registry key (below HKCU) holding the zone data of one list entry. Empty
// when the parts name no key of their own (an empty domain part, or a '\'
// or NUL in a part): written as they stand, their values would land on the
// domain tree itself or on a key nested below another name.
std::wstring DomainKeyPath(const HostSplit& split);
std::wstring RangeKeyPath(int position);

// "项:" + entry + ",加入信任站点"
std::wstring TrustedSiteLine(const std::wstring& entry);

// Directory text as the command lines need it: with exactly one trailing '\'.
std::wstring WithTrailingBackslash(const std::wstring& dir);

struct RegistrationStep {
    std::wstring commandLine;
    std::wstring lineAfter;  // empty when the step appends no line
};
// The ten commands in their order, for the given system and executable directories.
std::vector<RegistrationStep> RegistrationSteps(const std::wstring& systemDir, const std::wstring& exeDir);

extern const wchar_t kControlCheckKey[];
extern const wchar_t kRegisteredLine[];
extern const wchar_t kNotRegisteredLine[];
inline constexpr int kRegistrationChecks = 21;

// The list the repair run hands to the trusted-site step.
extern const wchar_t kTrustedSiteList[];

} // namespace repair
