// DLL entry points: class factory, self-registration and the tp_ exports.
#include <windows.h>
#include <oledb.h>
#include <olectl.h>

#include <cstring>
#include <mutex>

#include "common.h"
#include "objects.h"
#include "state.h"
#include "testprovider_api.h"
#include "win/class_factory.h"
#include "win/handles.h"
#include "win/hex_text.h"
#include "win/strings.h"

namespace tp {

std::atomic<long> g_liveObjects{0};
std::atomic<long> g_heldRows{0};
std::atomic<long> g_liveAccessors{0};
std::atomic<long> g_serverLocks{0};
HMODULE g_module = nullptr;

namespace {

std::mutex g_mutex;
std::string g_recorded;
int g_recordedCount = 0;
std::string g_callLog;
std::wstring g_lastError;
std::weak_ptr<Store> g_lastStore;

} // namespace

void RecordBlockStart() {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_recordedCount;
}
void RecordText(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_recorded += line;
    g_recorded += '\n';
}
void LogCall(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_callLog += line;
    g_callLog += '\n';
}
std::string RecordedText() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_recorded;
}
int RecordedCount() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_recordedCount;
}
std::string CallLogText() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_callLog;
}
void ResetRecording() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_recorded.clear();
    g_recordedCount = 0;
    g_callLog.clear();
}
void SetLastErrorText(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lastError = text;
}
std::wstring LastErrorText() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_lastError;
}
void SetLastStore(const std::shared_ptr<Store>& store) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lastStore = store;
}
std::shared_ptr<Store> LastStore() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_lastStore.lock();
}

std::string HrText(HRESULT hr) { return win::HexText(static_cast<uint32_t>(hr)); }
std::string Utf8(const std::wstring& text) { return win::ToUtf8(text); }
std::wstring FromUtf8(const std::string& text) { return win::FromUtf8(text); }
std::wstring GuidText(const GUID& g) {
    wchar_t buf[40] = {};
    StringFromGUID2(g, buf, 40);
    return buf;
}
int CopyOut(const std::string& text, char* buf, int size) {
    if (buf && size > 0) {
        size_t n = text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
        std::memcpy(buf, text.data(), n);
        buf[n] = 0;
    }
    return static_cast<int>(text.size());
}

namespace {

HRESULT CreateProviderObject(IUnknown* outer, REFIID iid, void** ppv) {
    // Aggregation is offered the COM way: only when the outer object asks for IUnknown.
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return CreateDataSource(outer, iid, ppv);
}
win::StaticClassFactory g_factory(&CreateProviderObject, g_serverLocks);

constexpr wchar_t kClsidKey[] = L"CLSID\\" TP_PROVIDER_CLSID_TEXT;
constexpr wchar_t kDescription[] = L"Quillet Test OLE DB Provider";

bool SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
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
} // namespace tp

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        tp::g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, tp::guid::kProvider)) return CLASS_E_CLASSNOTAVAILABLE;
    return tp::g_factory.QueryInterface(iid, ppv);
}

STDAPI DllCanUnloadNow() { return tp::g_liveObjects == 0 && tp::g_serverLocks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    using tp::SetString;
    std::wstring clsid = tp::kClsidKey;
    bool ok = SetString(HKEY_CLASSES_ROOT, clsid, nullptr, TP_PROVIDER_PROGID) &&
              SetString(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", nullptr, tp::ModulePath()) &&
              SetString(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", L"ThreadingModel", L"Both") &&
              SetString(HKEY_CLASSES_ROOT, clsid + L"\\ProgID", nullptr, TP_PROVIDER_PROGID) &&
              SetString(HKEY_CLASSES_ROOT, clsid + L"\\VersionIndependentProgID", nullptr, TP_PROVIDER_PROGID) &&
              SetString(HKEY_CLASSES_ROOT, clsid + L"\\OLE DB Provider", nullptr, tp::kDescription) &&
              SetString(HKEY_CLASSES_ROOT, TP_PROVIDER_PROGID, nullptr, tp::kDescription) &&
              SetString(HKEY_CLASSES_ROOT, std::wstring(TP_PROVIDER_PROGID) + L"\\CLSID", nullptr,
                        TP_PROVIDER_CLSID_TEXT);
    return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    LSTATUS a = RegDeleteTreeW(HKEY_CLASSES_ROOT, tp::kClsidKey);
    LSTATUS b = RegDeleteTreeW(HKEY_CLASSES_ROOT, TP_PROVIDER_PROGID);
    bool ok = (a == ERROR_SUCCESS || a == ERROR_FILE_NOT_FOUND) && (b == ERROR_SUCCESS || b == ERROR_FILE_NOT_FOUND);
    return ok ? S_OK : SELFREG_E_CLASS;
}

int tp_LiveObjects(void) { return static_cast<int>(tp::g_liveObjects.load()); }
int tp_HeldRows(void) { return static_cast<int>(tp::g_heldRows.load()); }
int tp_LiveAccessors(void) { return static_cast<int>(tp::g_liveAccessors.load()); }
void tp_Reset(void) { tp::ResetRecording(); }
int tp_RecordedPropertiesText(char* buf, int size) { return tp::CopyOut(tp::RecordedText(), buf, size); }
int tp_RecordedCount(void) { return tp::RecordedCount(); }
int tp_CallLogText(char* buf, int size) { return tp::CopyOut(tp::CallLogText(), buf, size); }
int tp_LastErrorText(char* buf, int size) { return tp::CopyOut(tp::Utf8(tp::LastErrorText()), buf, size); }

int tp_TableText(const char* table, char* buf, int size) {
    auto store = tp::LastStore();
    if (!store || !table) return -1;
    auto t = store->Find(tp::FromUtf8(table));
    if (!t) return -1;
    std::wstring text;
    for (const auto& row : t->rows) {
        text += L"row ";
        for (size_t i = 0; i < row->cells.size(); ++i) {
            if (i) text += L"|";
            text += tp::FormatCell(t->columns[i], row->cells[i]);
        }
        text += L"\n";
    }
    return tp::CopyOut(tp::Utf8(text), buf, size);
}

} // extern "C"
