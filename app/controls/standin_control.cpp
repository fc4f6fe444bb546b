// A minimal in-process COM server standing in for a filing-client control:
// it registers one class whose server is this file, and removes it again.
// STANDIN_CLSID and STANDIN_PROGID are set per control by the build.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <atomic>
#include <string>

#include "win/class_factory.h"
#include "win/handles.h"

namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;
std::atomic<long> g_locks{0};

const wchar_t kClsid[] = STANDIN_CLSID;
const wchar_t kProgId[] = STANDIN_PROGID;

CLSID ClassId() {
    CLSID id{};
    ::CLSIDFromString(const_cast<wchar_t*>(kClsid), &id);
    return id;
}

// The control has no behaviour of its own: an object that only counts.
class Control final : public IUnknown {
public:
    Control() { ::InterlockedIncrement(&g_objects); }
    ~Control() { ::InterlockedDecrement(&g_objects); }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown) { *out = this; AddRef(); return S_OK; }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = ::InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return n;
    }

private:
    LONG refs_ = 1;
};

HRESULT CreateControl(IUnknown* outer, REFIID iid, void** out) {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* obj = new (std::nothrow) Control();
    if (!obj) return E_OUTOFMEMORY;
    HRESULT hr = obj->QueryInterface(iid, out);
    obj->Release();
    return hr;
}
win::StaticClassFactory g_factory(&CreateControl, g_locks);

LONG SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    win::UniqueHKey key;
    LONG rc = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    return ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != ClassId()) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD n = ::GetModuleFileNameW(g_module, path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return SELFREG_E_CLASS;
    const std::wstring clsKey = std::wstring(L"CLSID\\") + kClsid;
    LONG rc = SetString(HKEY_CLASSES_ROOT, clsKey, nullptr, kProgId);
    if (rc == ERROR_SUCCESS) rc = SetString(HKEY_CLASSES_ROOT, clsKey + L"\\InprocServer32", nullptr, path);
    if (rc == ERROR_SUCCESS)
        rc = SetString(HKEY_CLASSES_ROOT, clsKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    if (rc == ERROR_SUCCESS) rc = SetString(HKEY_CLASSES_ROOT, clsKey + L"\\ProgID", nullptr, kProgId);
    if (rc == ERROR_SUCCESS) rc = SetString(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr, kClsid);
    return rc == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    const std::wstring clsKey = std::wstring(L"CLSID\\") + kClsid;
    LONG a = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, clsKey.c_str());
    LONG b = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    bool ok = (a == ERROR_SUCCESS || a == ERROR_FILE_NOT_FOUND) && (b == ERROR_SUCCESS || b == ERROR_FILE_NOT_FOUND);
    return ok ? S_OK : SELFREG_E_CLASS;
}
