// Owners for Win32 handles, registry keys, COM pointers and COM memory: each
// releases what it holds on every path, so no caller has to remember to.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace win {

template <typename Traits>
class UniqueOwner {
public:
    using Type = typename Traits::Type;
    UniqueOwner() noexcept = default;
    explicit UniqueOwner(Type h) noexcept : h_(h) {}
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& o) noexcept : h_(o.release()) {}
    UniqueOwner& operator=(UniqueOwner&& o) noexcept { if (this != &o) reset(o.release()); return *this; }
    ~UniqueOwner() { reset(); }

    Type get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return Traits::valid(h_); }
    Type release() noexcept { return std::exchange(h_, Traits::invalid()); }
    void reset(Type h = Traits::invalid()) noexcept {
        if (Traits::valid(h_)) Traits::close(h_);
        h_ = h;
    }
    // For out-parameters: frees what is held and hands out the slot.
    Type* put() noexcept { reset(); return &h_; }

private:
    Type h_ = Traits::invalid();
};

// Kernel objects (processes, threads, events, pipes) are empty when null;
// INVALID_HANDLE_VALUE is the current process's pseudo-handle there, not
// "nothing". Files and find handles use INVALID_HANDLE_VALUE for failure
// instead, so each kind has its own owner and no caller tests for both.
struct HandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type h) noexcept { return h != nullptr; }
    static void close(Type h) noexcept { ::CloseHandle(h); }
};
struct FileTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(Type h) noexcept { return h != INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { ::CloseHandle(h); }
};
struct FindTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(Type h) noexcept { return h != INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { ::FindClose(h); }
};
struct HKeyTraits {
    using Type = HKEY;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type h) noexcept { return h != nullptr; }
    static void close(Type h) noexcept { ::RegCloseKey(h); }
};
struct GdiTraits {
    using Type = HGDIOBJ;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type h) noexcept { return h != nullptr; }
    static void close(Type h) noexcept { ::DeleteObject(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type h) noexcept { return h != nullptr; }
    static void close(Type h) noexcept { ::FreeLibrary(h); }
};
struct BstrTraits {
    using Type = BSTR;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type h) noexcept { return h != nullptr; }
    static void close(Type h) noexcept { ::SysFreeString(h); }
};

using UniqueHandle = UniqueOwner<HandleTraits>;
using UniqueHFile = UniqueOwner<FileTraits>;
using UniqueFindHandle = UniqueOwner<FindTraits>;
using UniqueHKey = UniqueOwner<HKeyTraits>;
using UniqueGdiObject = UniqueOwner<GdiTraits>;
using UniqueModule = UniqueOwner<ModuleTraits>;
using UniqueBstr = UniqueOwner<BstrTraits>;

// A block from the COM task allocator (CoTaskMemAlloc), as providers hand
// out column information, names and status arrays.
template <typename T>
struct CoTaskMemTraits {
    using Type = T*;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type p) noexcept { return p != nullptr; }
    static void close(Type p) noexcept { ::CoTaskMemFree(const_cast<void*>(static_cast<const void*>(p))); }
};
template <typename T>
using UniqueCoTaskMem = UniqueOwner<CoTaskMemTraits<T>>;

// A VARIANT cleared on every path; it starts and ends as VT_EMPTY.
class UniqueVariant {
public:
    UniqueVariant() noexcept { ::VariantInit(&v_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { ::VariantClear(&v_); }

    VARIANT& get() noexcept { return v_; }
    const VARIANT& get() const noexcept { return v_; }
    // Clears what is held and hands out the slot for an out-parameter.
    VARIANT* put() noexcept { ::VariantClear(&v_); return &v_; }

private:
    VARIANT v_;
};

// Runs a cleanup when the scope ends, on every path.
template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F f) noexcept : f_(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { if (armed_) f_(); }
    void Dismiss() noexcept { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};

// A counted COM reference.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* p) noexcept { ComPtr c; c.p_ = p; return c; }
    ComPtr(const ComPtr& o) noexcept : p_(o.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(const ComPtr& o) noexcept { ComPtr(o).swap(*this); return *this; }
    ComPtr& operator=(ComPtr&& o) noexcept { ComPtr(std::move(o)).swap(*this); return *this; }
    ~ComPtr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void reset() noexcept { if (p_) { std::exchange(p_, nullptr)->Release(); } }
    T* detach() noexcept { return std::exchange(p_, nullptr); }
    T** put() noexcept { reset(); return &p_; }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

    template <typename U>
    HRESULT As(ComPtr<U>& out, REFIID iid) const noexcept {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out.put_void());
    }

private:
    T* p_ = nullptr;
};

} // namespace win
