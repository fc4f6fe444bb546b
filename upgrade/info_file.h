// The update information file: a text the server publishes at InfoFileURL,
// read for "#key=value" entries found anywhere in it. Free of platform
// headers; the values are converted from the system's ANSI code page.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "upgrade/upgrade_types.h"

namespace au {

// The bytes after the first "#" + key + "=" up to the first control
// character (any byte below 32) or the end; nullopt when the marker is
// absent. Markers match byte for byte, case included, wherever they stand,
// also inside another entry's value. Nothing is trimmed.
std::optional<std::string> InfoEntry(std::string_view text, std::string_view key);

// The text after the first "#message={" up to the first "}" character, or
// to the end without one; empty when the marker is absent. The search for
// the brace runs over characters, not bytes: in a double-byte code page a
// trailing byte may have the brace's value.
std::wstring InfoMessage(std::string_view text);

// The file addresses in queue order: #url=, then #url0=, each when present
// and not empty; then #url<n>= for n from one above the count so far, up
// to the first absent or empty one.
std::vector<std::wstring> InfoFileAddresses(std::string_view text);
// The same with each address's entry suffix ("", "0", "1", ...), which
// names its companion entries.
struct InfoAddress {
    std::string suffix;
    std::wstring url;
};
std::vector<InfoAddress> InfoFileEntries(std::string_view text);

// "1" starts an external setup, "2" redirects to the address; any other
// first character, or none, is the self-upgrade.
TacUpgradeMethod MethodOf(std::string_view value);

struct UpdateInfo {
    std::wstring version;        // #version=
    bool forceUpgrade = false;   // #forceupgrade=true exactly
    std::wstring date;           // #date=
    std::vector<std::wstring> files;
};
UpdateInfo ReadUpdateInfo(std::string_view text);

} // namespace au
