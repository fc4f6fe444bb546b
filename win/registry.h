// A registry accessor with one way to open, read and write: a root, an access
// mask, at most one open key. Names say the failure policy: a plain name
// raises win::Error (carrying the platform's code) when the registry refuses;
// a Try name answers through its result and never raises.
#pragma once
#include <windows.h>

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
    void OpenKey(const std::wstring& path, bool create);
    bool TryOpenKey(const std::wstring& path, bool create) noexcept;
    void CloseKey() noexcept { key_.reset(); }

    // Type of a value of the open key; nullopt when it or the key is missing.
    std::optional<DWORD> TryValueType(const std::wstring& name) const noexcept;
    bool TryValueExists(const std::wstring& name) const noexcept { return TryValueType(name).has_value(); }

    // A missing value reads as empty / nullopt; a value of another type, or a
    // read the registry refuses, raises.
    std::wstring ReadString(const std::wstring& name) const;
    std::optional<DWORD> ReadDword(const std::wstring& name) const;
    // The same reads, with every failure answered as nullopt.
    std::optional<std::wstring> TryReadString(const std::wstring& name) const noexcept;
    std::optional<DWORD> TryReadDword(const std::wstring& name) const noexcept;

    // True only when the value exists with exactly this type and data (a
    // DWORD of another size does not count, nor an expandable string).
    bool TryMatchDword(const std::wstring& name, DWORD value) const noexcept;
    bool TryMatchString(const std::wstring& name, const std::wstring& value) const noexcept;

    void WriteString(const std::wstring& name, const std::wstring& value);
    void WriteDword(const std::wstring& name, DWORD value);

    // Asked before every write of every accessor in the process, so that a
    // test can refuse a write the platform would accept.
    class WriteGate {
    public:
        virtual ~WriteGate() = default;
        // A Win32 error code to refuse the write of `valueName` with, or
        // ERROR_SUCCESS to let it through.
        virtual LONG Check(const std::wstring& valueName) = 0;
    };
    // Puts `gate` in place for its lifetime and the one it replaced back
    // afterwards. Meant for one thread at a time, as tests install it.
    class ScopedWriteGate {
    public:
        explicit ScopedWriteGate(WriteGate& gate) noexcept;
        ~ScopedWriteGate();
        ScopedWriteGate(const ScopedWriteGate&) = delete;
        ScopedWriteGate& operator=(const ScopedWriteGate&) = delete;

    private:
        WriteGate* previous_;
    };

private:
    LONG TryOpen(const std::wstring& path, bool create) noexcept;
    void Write(const std::wstring& name, DWORD type, const void* data, DWORD size);

    HKEY root_;
    REGSAM access_;
    UniqueHKey key_;
};

} // namespace win
