// Owner of a WinINet handle: sessions, connections and requests all close
// with InternetCloseHandle, and null is the one empty value.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <string>
#include <utility>

#include "log/log4me.h"

namespace au {

class UniqueHInternet {
public:
    UniqueHInternet() noexcept = default;
    explicit UniqueHInternet(HINTERNET handle) noexcept : handle_(handle) {}
    UniqueHInternet(UniqueHInternet&& other) noexcept : handle_(other.release()) {}
    UniqueHInternet& operator=(UniqueHInternet&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHInternet(const UniqueHInternet&) = delete;
    UniqueHInternet& operator=(const UniqueHInternet&) = delete;
    ~UniqueHInternet() { reset(); }

    HINTERNET get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }
    HINTERNET release() noexcept { return std::exchange(handle_, nullptr); }
    void reset(HINTERNET handle = nullptr) noexcept {
        HINTERNET old = std::exchange(handle_, handle);
        if (old && !::InternetCloseHandle(old))
            LogError("net: an internet handle would not close (error " + std::to_string(::GetLastError()) + ")");
    }

private:
    HINTERNET handle_ = nullptr;
};

} // namespace au
