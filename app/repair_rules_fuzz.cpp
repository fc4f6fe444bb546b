// A trusted-site list as the repair step receives it: its entries are the
// list's own pieces, and each entry's registry key is named only by the
// entry's own parts, each one key below the zone map's domain tree, so no
// entry can put its values on the tree itself, on a parent key or on
// another entry's key. Input: the list, one byte per character; bytes
// from 0x80 on stand for characters outside ASCII.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/repair_rules.h"
#include "fuzz_check.h"

using namespace repair;

namespace {

bool IsDecimalBelow256(const std::wstring& label) {
    if (label.empty() || label.size() > 3) return false;
    int value = 0;
    for (wchar_t c : label) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    return value < 256;
}

// A single key name: not empty, no separator, and no character that would
// end the name early when handed to the platform.
bool OneKeyName(const std::wstring& name) {
    return !name.empty() && name.find_first_of(std::wstring(L"\\\0", 2)) == std::wstring::npos;
}

void CheckEntry(const std::wstring& entry, int position) {
    const std::wstring kind = ClassifyHost(entry);
    FUZZ_CHECK(kind == ClassifyHost(entry), "the same entry is classified alike");
    const size_t dot = entry.find_last_of(L'.');
    const std::wstring last = dot == std::wstring::npos ? entry : entry.substr(dot + 1);
    FUZZ_CHECK(kind == (last != L"cn" && last != L"com" && IsDecimalBelow256(last) ? L"IP" : L"Domain"),
               "only a last label of plain digits below 256 makes an address");

    const HostSplit split = SplitHost(entry);
    // An empty first label leaves no host part, only the dot before the domain.
    FUZZ_CHECK(split.host.empty() ? split.domain == entry || L"." + split.domain == entry
                                  : split.host + L"." + split.domain == entry,
               "the host and domain parts are the entry's own pieces");
    if (!split.host.empty())
        FUZZ_CHECK(split.domain.find(L'.') == split.domain.find_last_of(L'.') && split.domain.find(L'.') != std::wstring::npos,
                   "a domain part with a host part before it is the last two labels");

    const std::wstring path = DomainKeyPath(split);
    FUZZ_CHECK(path == DomainKeyPath(SplitHost(entry)), "the same entry names the same key");
    const std::wstring root = std::wstring(kDomainsKey) + L"\\";
    if (OneKeyName(split.domain) && (split.host.empty() || OneKeyName(split.host))) {
        FUZZ_CHECK(path == root + split.domain + (split.host.empty() ? L"" : L"\\" + split.host),
                   "an entry's key is its domain part below the domain tree, and its host part below that");
    } else {
        FUZZ_CHECK(path.empty(), "an entry whose parts name no key of their own names no key");
    }

    const std::wstring range = RangeKeyPath(position);
    FUZZ_CHECK(range == std::wstring(kRangesKey) + L"\\Range99" + std::to_wstring(position),
               "an address's key is named after its position");
    FUZZ_CHECK(TrustedSiteLine(entry) == L"项:" + entry + L",加入信任站点", "the log line holds the entry whole");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring list;
    for (size_t i = 0; i < size; ++i)
        list += data[i] >= 0x80 ? static_cast<wchar_t>(0x4E00 + data[i]) : static_cast<wchar_t>(data[i]);

    const std::vector<std::wstring> entries = SplitSiteList(list);
    FUZZ_CHECK(entries == SplitSiteList(list), "the same list gives the same entries");
    if (list.empty()) {
        FUZZ_CHECK(entries.empty(), "an empty list has no entries");
        return 0;
    }
    std::wstring joined;
    for (size_t i = 0; i < entries.size(); ++i) {
        FUZZ_CHECK(entries[i].find(L',') == std::wstring::npos, "an entry holds no comma");
        joined += (i ? L"," : L"") + entries[i];
    }
    FUZZ_CHECK(joined == list, "the entries are the list's pieces between its commas, in order, none lost");

    int position = 0;
    for (const std::wstring& entry : entries) CheckEntry(entry, position++);

    const std::wstring dir = list.substr(0, list.find(L','));
    const std::wstring withSlash = WithTrailingBackslash(dir);
    FUZZ_CHECK(!withSlash.empty() && withSlash.back() == L'\\' &&
                   (withSlash == dir || withSlash == dir + L"\\"),
               "a directory gets a trailing backslash when it has none, and is kept when it has one");
    const auto steps = RegistrationSteps(dir, dir);
    FUZZ_CHECK(steps.size() == 10, "registration runs ten commands");
    for (const auto& step : steps)
        FUZZ_CHECK(step.commandLine.find(withSlash) != std::wstring::npos, "each command names its directory");
    return 0;
}
