#include "download_scan.h"

#include <windows.h>

#include "selfupgrade_protocol.h"
#include "win/handles.h"

namespace selfupgrade {

std::vector<std::wstring> ListDownloads(const std::wstring& directory) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    win::UniqueFindHandle find(::FindFirstFileW((directory + L"*" + kDownloadSuffix).c_str(), &found));
    if (!find) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
    } while (::FindNextFileW(find.get(), &found));
    return names;
}

} // namespace selfupgrade
