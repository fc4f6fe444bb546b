// Owner of a WinINet handle: sessions, connections and requests all close
// with InternetCloseHandle, and null is the one empty value.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <string>

#include "log/log4me.h"
#include "win/handles.h"

namespace au {

struct HInternetTraits {
    using Type = HINTERNET;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type h) noexcept { return h != nullptr; }
    static void close(Type h) noexcept {
        if (!::InternetCloseHandle(h))
            LogError("net: an internet handle would not close (error " + std::to_string(::GetLastError()) + ")");
    }
};
using UniqueHInternet = win::UniqueOwner<HInternetTraits>;

} // namespace au
