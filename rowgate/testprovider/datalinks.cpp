// A windowless stand-in for the platform's data-link dialog, registered in
// test prefixes only: PromptDataSource answers as a user would, from the
// environment variable RG_DATALINK_ANSWER.
#include <windows.h>
#include <oledb.h>
#include <msdasc.h>
#include <olectl.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "common.h"
#include "testprovider_api.h"
#include "win/class_factory.h"
#include "win/handles.h"
#include "win/hex_text.h"
#include "win/strings.h"

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
std::mutex g_mutex;
int g_promptCount = 0;
std::string g_lastPrompt;

constexpr wchar_t kClsidKey[] = L"CLSID\\{2206CDB2-19C1-11D1-89E0-00C04FD7A829}";
constexpr wchar_t kSavedKey[] = L"CLSID\\{2206CDB2-19C1-11D1-89E0-00C04FD7A829}\\QuilletSaved";

class DataLinks final : public IDBPromptInitialize, public IDataInitialize {
public:
    DataLinks() { ++g_objects; }
    ~DataLinks() { --g_objects; }

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, tp::guid::kIidDBPromptInitialize))
            *ppv = static_cast<IDBPromptInitialize*>(this);
        else if (IsEqualIID(iid, tp::guid::kIidDataInitialize))
            *ppv = static_cast<IDataInitialize*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG r = --refs_;
        if (r == 0) delete this;
        return r;
    }

    STDMETHODIMP PromptDataSource(IUnknown* outer, HWND parent, DBPROMPTOPTIONS options, ULONG cTypes,
                                  DBSOURCETYPE*, LPCOLESTR providerFilter, REFIID iid,
                                  IUnknown** ppDataSource) override {
        wchar_t buf[1024] = {};
        DWORD n = GetEnvironmentVariableW(L"RG_DATALINK_ANSWER", buf, 1024);
        std::wstring answer = n > 0 && n < 1024 ? buf : L"";
        HRESULT hr;
        if (!ppDataSource) {
            hr = E_INVALIDARG;
        } else if (answer.empty() || _wcsicmp(answer.c_str(), L"cancel") == 0) {
            hr = S_FALSE;  // the user closed the dialog with Cancel
        } else if (*ppDataSource) {
            hr = S_OK;  // an existing data source confirmed unchanged
        } else {
            win::ComPtr<IDataInitialize> init;
            hr = Service(init);
            if (SUCCEEDED(hr)) {
                hr = init->GetDataSource(outer, CLSCTX_INPROC_SERVER, answer.c_str(), iid, ppDataSource);
                if (SUCCEEDED(hr)) hr = S_OK;
            }
        }
        wchar_t iidText[40] = {};
        StringFromGUID2(iid, iidText, 40);
        std::string line = "hwnd=" + win::HexText(reinterpret_cast<uintptr_t>(parent)) +
                           " options=" + std::to_string(options) + " types=" + std::to_string(cTypes) +
                           " filter=" + (providerFilter ? win::ToUtf8(providerFilter) : std::string("(null)")) +
                           " iid=" + win::ToUtf8(iidText) +
                           " answer=" + (answer.empty() ? std::string("cancel") : win::ToUtf8(answer)) + " -> " +
                           win::HexText(static_cast<uint32_t>(hr));
        std::lock_guard<std::mutex> lock(g_mutex);
        ++g_promptCount;
        g_lastPrompt = line;
        return hr;
    }
    STDMETHODIMP PromptFileName(HWND, DBPROMPTOPTIONS, LPCOLESTR, LPCOLESTR, LPOLESTR* selected) override {
        if (selected) *selected = nullptr;
        return E_NOTIMPL;
    }

    // IDataInitialize: the platform's service component does the work.
    STDMETHODIMP GetDataSource(IUnknown* outer, DWORD ctx, LPCOLESTR text, REFIID iid, IUnknown** pp) override {
        win::ComPtr<IDataInitialize> init;
        HRESULT hr = Service(init);
        return FAILED(hr) ? hr : init->GetDataSource(outer, ctx, text, iid, pp);
    }
    STDMETHODIMP GetInitializationString(IUnknown* ds, boolean withPassword, LPOLESTR* out) override {
        win::ComPtr<IDataInitialize> init;
        HRESULT hr = Service(init);
        return FAILED(hr) ? hr : init->GetInitializationString(ds, withPassword, out);
    }
    STDMETHODIMP CreateDBInstance(REFCLSID clsid, IUnknown* outer, DWORD ctx, LPOLESTR reserved, REFIID iid,
                                  IUnknown** pp) override {
        win::ComPtr<IDataInitialize> init;
        HRESULT hr = Service(init);
        return FAILED(hr) ? hr : init->CreateDBInstance(clsid, outer, ctx, reserved, iid, pp);
    }
    STDMETHODIMP CreateDBInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD ctx, LPOLESTR reserved,
                                    COSERVERINFO* server, ULONG cmq, MULTI_QI* results) override {
        win::ComPtr<IDataInitialize> init;
        HRESULT hr = Service(init);
        return FAILED(hr) ? hr : init->CreateDBInstanceEx(clsid, outer, ctx, reserved, server, cmq, results);
    }
    STDMETHODIMP LoadStringFromStorage(LPCOLESTR file, LPOLESTR* out) override {
        win::ComPtr<IDataInitialize> init;
        HRESULT hr = Service(init);
        return FAILED(hr) ? hr : init->LoadStringFromStorage(file, out);
    }
    STDMETHODIMP WriteStringToStorage(LPCOLESTR file, LPCOLESTR text, DWORD disposition) override {
        win::ComPtr<IDataInitialize> init;
        HRESULT hr = Service(init);
        return FAILED(hr) ? hr : init->WriteStringToStorage(file, text, disposition);
    }

private:
    static HRESULT Service(win::ComPtr<IDataInitialize>& out) {
        return CoCreateInstance(tp::guid::kMsdaInitialize, nullptr, CLSCTX_INPROC_SERVER, tp::guid::kIidDataInitialize,
                                out.put_void());
    }
    std::atomic<ULONG> refs_{1};
};

HRESULT CreateDataLinks(IUnknown* outer, REFIID iid, void** ppv) {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* obj = new DataLinks();
    HRESULT hr = obj->QueryInterface(iid, ppv);
    obj->Release();
    return hr;
}
win::StaticClassFactory g_factory(&CreateDataLinks, g_locks);

std::wstring ReadString(HKEY root, const wchar_t* path, const wchar_t* name, bool& found) {
    wchar_t buf[1024] = {};
    DWORD size = sizeof buf - sizeof(wchar_t);
    DWORD type = 0;
    found = RegGetValueW(root, path, name, RRF_RT_REG_SZ, &type, buf, &size) == ERROR_SUCCESS;
    return found ? buf : L"";
}

bool WriteString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    win::UniqueHKey key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::wstring ModulePath() {
    wchar_t path[MAX_PATH * 2] = {};
    GetModuleFileNameW(g_module, path, MAX_PATH * 2);
    return path;
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, tp::guid::kDataLinks)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, ppv);
}

STDAPI DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

// Takes the class over and keeps what was registered before, so that
// unregistering gives the prefix its own data links back.
STDAPI DllRegisterServer() {
    std::wstring server = std::wstring(kClsidKey) + L"\\InprocServer32";
    std::wstring self = ModulePath();
    bool found = false, savedFound = false;
    std::wstring previous = ReadString(HKEY_CLASSES_ROOT, server.c_str(), nullptr, found);
    ReadString(HKEY_CLASSES_ROOT, kSavedKey, L"InprocServer32", savedFound);
    if (found && !savedFound && _wcsicmp(previous.c_str(), self.c_str()) != 0) {
        bool tmFound = false;
        std::wstring model = ReadString(HKEY_CLASSES_ROOT, server.c_str(), L"ThreadingModel", tmFound);
        if (!WriteString(HKEY_CLASSES_ROOT, kSavedKey, L"InprocServer32", previous)) return SELFREG_E_CLASS;
        if (tmFound && !WriteString(HKEY_CLASSES_ROOT, kSavedKey, L"ThreadingModel", model)) return SELFREG_E_CLASS;
    }
    bool ok = WriteString(HKEY_CLASSES_ROOT, server, nullptr, self) &&
              WriteString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", L"Both");
    return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    std::wstring server = std::wstring(kClsidKey) + L"\\InprocServer32";
    bool savedFound = false, tmFound = false;
    std::wstring previous = ReadString(HKEY_CLASSES_ROOT, kSavedKey, L"InprocServer32", savedFound);
    std::wstring model = ReadString(HKEY_CLASSES_ROOT, kSavedKey, L"ThreadingModel", tmFound);
    if (!savedFound) {
        LSTATUS s = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey);
        return s == ERROR_SUCCESS || s == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
    }
    bool ok = WriteString(HKEY_CLASSES_ROOT, server, nullptr, previous);
    if (ok && tmFound) ok = WriteString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", model);
    if (ok) RegDeleteTreeW(HKEY_CLASSES_ROOT, kSavedKey);
    return ok ? S_OK : SELFREG_E_CLASS;
}

int dl_PromptCount(void) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_promptCount;
}
int dl_LastPromptText(char* buf, int size) {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        text = g_lastPrompt;
    }
    if (buf && size > 0) {
        size_t n = text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
        std::memcpy(buf, text.data(), n);
        buf[n] = 0;
    }
    return static_cast<int>(text.size());
}
void dl_Reset(void) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_promptCount = 0;
    g_lastPrompt.clear();
}

} // extern "C"
