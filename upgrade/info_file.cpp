#include "upgrade/info_file.h"

#include <map>

#include "win/strings.h"

namespace au {
namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 32; }

std::string_view LineValue(std::string_view text, size_t from) {
    size_t end = from;
    while (end < text.size() && !IsControl(text[end])) ++end;
    return text.substr(from, end - from);
}

std::wstring FromAnsi(std::string_view bytes) { return win::FromAnsi(std::string(bytes)); }

} // namespace

std::optional<std::string> InfoEntry(std::string_view text, std::string_view key) {
    std::string marker(1, '#');
    marker.append(key).push_back('=');
    const size_t at = text.find(marker);
    if (at == std::string_view::npos) return std::nullopt;
    return std::string(LineValue(text, at + marker.size()));
}

std::wstring InfoMessage(std::string_view text) {
    static constexpr std::string_view kMarker = "#message={";
    const size_t at = text.find(kMarker);
    if (at == std::string_view::npos) return {};
    std::wstring rest = FromAnsi(text.substr(at + kMarker.size()));
    const size_t brace = rest.find(L'}');
    if (brace != std::wstring::npos) rest.resize(brace);
    return rest;
}

std::vector<InfoAddress> InfoFileEntries(std::string_view text) {
    std::vector<InfoAddress> files;
    // Every "#url<digits>=" once, at its first place: a file of many
    // numbered entries is read in one pass instead of one per number.
    std::map<std::string, size_t, std::less<>> first;
    for (size_t at = text.find("#url"); at != std::string_view::npos; at = text.find("#url", at + 1)) {
        size_t end = at + 4;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (end < text.size() && text[end] == '=')
            first.try_emplace(std::string(text.substr(at + 4, end - at - 4)), end + 1);
    }
    auto value = [&](const std::string& digits) -> std::string_view {
        const auto it = first.find(digits);
        return it == first.end() ? std::string_view{} : LineValue(text, it->second);
    };
    for (const char* key : {"", "0"})
        if (const auto v = value(key); !v.empty()) files.push_back({key, FromAnsi(v)});
    for (size_t n = files.size() + 1;; ++n) {
        const std::string key = std::to_string(n);
        const auto v = value(key);
        if (v.empty()) break;
        files.push_back({key, FromAnsi(v)});
    }
    return files;
}

std::vector<std::wstring> InfoFileAddresses(std::string_view text) {
    std::vector<std::wstring> files;
    for (auto& entry : InfoFileEntries(text)) files.push_back(std::move(entry.url));
    return files;
}

TacUpgradeMethod MethodOf(std::string_view value) {
    if (value.empty()) return umSelfUpgrade;
    if (value[0] == '1') return umUseExternalSetup;
    if (value[0] == '2') return umRedirectToURL;
    return umSelfUpgrade;
}

UpdateInfo ReadUpdateInfo(std::string_view text) {
    UpdateInfo info;
    info.files = InfoFileAddresses(text);
    info.version = FromAnsi(InfoEntry(text, "version").value_or(""));
    info.forceUpgrade = InfoEntry(text, "forceupgrade").value_or("") == "true";
    info.date = FromAnsi(InfoEntry(text, "date").value_or(""));
    return info;
}

} // namespace au
