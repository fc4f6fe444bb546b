// A registry accessor with one way to open, read and write: a root, an access
// mask, at most one open key. Opening reports failure through its result;
// reads and writes that fail raise win::Error.
#pragma once
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "handles.h"

namespace win {

class Registry {
public:
    explicit Registry(HKEY root = HKEY_CURRENT_USER, REGSAM access = KEY_ALL_ACCESS);

    HKEY Root() const noexcept { return root_; }
    bool HasOpenKey() const noexcept { return static_cast<bool>(key_); }

    // Opens `path` below the root, creating missing levels when `create` is set.
    bool OpenKey(const std::wstring& path, bool create);
    void CloseKey() noexcept { key_.reset(); }

    // Type of a value of the open key, or nullopt when it does not exist.
    std::optional<DWORD> ValueType(const std::wstring& name) const;
    bool ValueExists(const std::wstring& name) const { return ValueType(name).has_value(); }

    // Raise when the value exists with another type; a missing value reads as
    // empty / nullopt.
    std::wstring ReadString(const std::wstring& name) const;
    std::optional<DWORD> ReadDword(const std::wstring& name) const;

    // Non-raising checks: true only when the value exists with exactly this
    // type and data (a DWORD of another size does not count).
    bool DwordIs(const std::wstring& name, DWORD value) const;
    bool StringIs(const std::wstring& name, const std::wstring& value) const;

    void WriteString(const std::wstring& name, const std::wstring& value);
    void WriteDword(const std::wstring& name, DWORD value);

    // Lets a test refuse a write the platform would accept: the hook gets the
    // value name and returns a Win32 error code, or ERROR_SUCCESS to go on.
    using WriteFault = std::function<LONG(const std::wstring& valueName)>;
    static void SetWriteFault(WriteFault fault);

private:
    void Write(const std::wstring& name, DWORD type, const void* data, DWORD size);

    HKEY root_;
    REGSAM access_;
    UniqueHKey key_;
};

} // namespace win
