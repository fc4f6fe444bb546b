// The downloads an upgrade left in a directory, listed the one way both the
// engine (which removes them after a failed upgrade) and the self-upgrade
// program (which puts them in place) list them.
#pragma once
#include <string>
#include <vector>

namespace selfupgrade {

// The names (not paths) of the files in `directory` (ending in '\') that
// match "*.uTMP", directories left out, in the listing's order. All names
// are read before the caller acts, since moving or deleting files while the
// listing is open could show a file again or skip one.
std::vector<std::wstring> ListDownloads(const std::wstring& directory);

} // namespace selfupgrade
