#include "registry.h"

#include <atomic>
#include <vector>

#include "error.h"
#include "strings.h"

namespace win {
namespace {

// Read on every write; a plain load when no test has installed a gate.
std::atomic<Registry::WriteGate*> g_writeGate{nullptr};

[[noreturn]] void RaiseRegistry(const std::wstring& what, const std::wstring& name, LONG code) {
    const auto c = static_cast<uint32_t>(code);
    throw Error(what + L" '" + name + L"': " + SystemMessage(c), c);
}

} // namespace

Registry::ScopedWriteGate::ScopedWriteGate(WriteGate& gate) noexcept : previous_(g_writeGate.exchange(&gate)) {}

Registry::ScopedWriteGate::~ScopedWriteGate() { g_writeGate = previous_; }

Registry::Registry(HKEY root, REGSAM access) : root_(root), access_(access) {}

LONG Registry::TryOpen(const std::wstring& path, bool create) noexcept {
    UniqueHKey key;
    LONG rc;
    if (create) {
        rc = ::RegCreateKeyExW(root_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_, nullptr,
                               key.put(), nullptr);
    } else {
        rc = ::RegOpenKeyExW(root_, path.c_str(), 0, access_, key.put());
    }
    if (rc == ERROR_SUCCESS) key_ = std::move(key);
    return rc;
}

bool Registry::TryOpenKey(const std::wstring& path, bool create) noexcept {
    return TryOpen(path, create) == ERROR_SUCCESS;
}

void Registry::OpenKey(const std::wstring& path, bool create) {
    const LONG rc = TryOpen(path, create);
    if (rc != ERROR_SUCCESS) RaiseRegistry(L"Failed to open key", path, rc);
}

std::optional<DWORD> Registry::TryValueType(const std::wstring& name) const noexcept {
    if (!key_) return std::nullopt;
    DWORD type = 0;
    LONG rc = ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    return type;
}

std::wstring Registry::ReadString(const std::wstring& name) const {
    if (!key_) return {};
    DWORD type = 0, size = 0;
    LONG rc = ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return {};
    if (rc != ERROR_SUCCESS) RaiseRegistry(L"Failed to get data for", name, rc);
    if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseRegistry(L"Invalid data type for", name, ERROR_INVALID_DATATYPE);
    // The value may change between the two queries; grow and retry.
    std::vector<BYTE> buf(size + sizeof(wchar_t));
    for (;;) {
        DWORD got = static_cast<DWORD>(buf.size());
        rc = ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, buf.data(), &got);
        if (rc == ERROR_MORE_DATA) { buf.resize(got + sizeof(wchar_t)); continue; }
        if (rc != ERROR_SUCCESS) RaiseRegistry(L"Failed to get data for", name, rc);
        std::wstring s(reinterpret_cast<const wchar_t*>(buf.data()), got / sizeof(wchar_t));
        // Stored strings need not carry their terminator, or may carry several.
        auto end = s.find(L'\0');
        if (end != std::wstring::npos) s.resize(end);
        return s;
    }
}

std::optional<DWORD> Registry::ReadDword(const std::wstring& name) const {
    if (!key_) return std::nullopt;
    DWORD type = 0, value = 0, size = sizeof(value);
    LONG rc = ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (rc == ERROR_MORE_DATA || (rc == ERROR_SUCCESS && (type != REG_DWORD || size != sizeof(value))))
        RaiseRegistry(L"Invalid data type for", name, ERROR_INVALID_DATATYPE);
    if (rc != ERROR_SUCCESS) RaiseRegistry(L"Failed to get data for", name, rc);
    return value;
}

std::optional<std::wstring> Registry::TryReadString(const std::wstring& name) const noexcept {
    if (!TryValueType(name)) return std::nullopt;
    try {
        return ReadString(name);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<DWORD> Registry::TryReadDword(const std::wstring& name) const noexcept {
    try {
        return ReadDword(name);
    } catch (...) {
        return std::nullopt;
    }
}

bool Registry::TryMatchDword(const std::wstring& name, DWORD value) const noexcept {
    if (!key_) return false;
    DWORD type = 0, got = 0, size = sizeof(got);
    LONG rc = ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&got), &size);
    return rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(got) && got == value;
}

bool Registry::TryMatchString(const std::wstring& name, const std::wstring& value) const noexcept {
    if (TryValueType(name) != std::optional<DWORD>(REG_SZ)) return false;
    return TryReadString(name) == value;
}

void Registry::WriteString(const std::wstring& name, const std::wstring& value) {
    Write(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void Registry::WriteDword(const std::wstring& name, DWORD value) {
    Write(name, REG_DWORD, &value, sizeof(value));
}

void Registry::Write(const std::wstring& name, DWORD type, const void* data, DWORD size) {
    LONG rc = ERROR_INVALID_HANDLE;
    if (key_) {
        WriteGate* gate = g_writeGate;
        rc = gate ? gate->Check(name) : ERROR_SUCCESS;
        if (rc == ERROR_SUCCESS)
            rc = ::RegSetValueExW(key_.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    }
    if (rc != ERROR_SUCCESS) RaiseRegistry(L"Failed to set data for", name, rc);
}

} // namespace win
