#include "api_test_support.h"

#include <objbase.h>
#include <psapi.h>

#include <cstdio>
#include <vector>

#include "rowgate/testprovider/register_for_tests.h"
#include "rowgate/testprovider/testprovider_api.h"
#include "win/strings.h"

namespace rgtest {
namespace {

template <typename F>
void Resolve(HMODULE m, F& f, const char* name) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
    if (!f) ADD_FAILURE() << "rowgate.dll lacks " << name;
}

RowgateApi LoadApi() {
    RowgateApi a;
    a.module = LoadLibraryW((win::ExeDir() + L"rowgate.dll").c_str());
    if (!a.module) {
        ADD_FAILURE() << "LoadLibrary(rowgate.dll) failed: " << GetLastError();
        return a;
    }
#define RG_RESOLVE(name) Resolve(a.module, a.name, #name)
    RG_RESOLVE(OpenDBSource);
    RG_RESOLVE(OpenDBSourceByStr);
    RG_RESOLVE(CloseDBSource);
    RG_RESOLVE(GetConnectString);
    RG_RESOLVE(GetTables);
    RG_RESOLVE(GetTableName);
    RG_RESOLVE(GetTableFields);
    RG_RESOLVE(GetFieldName);
    RG_RESOLVE(OpenRowSet);
    RG_RESOLVE(OpenRowSetEx);
    RG_RESOLVE(CloseRowSet);
    RG_RESOLVE(GetColumns);
    RG_RESOLVE(GetColName);
    RG_RESOLVE(GetFieldDataType);
    RG_RESOLVE(MoveFirst);
    RG_RESOLVE(MoveNext);
    RG_RESOLVE(MovePrev);
    RG_RESOLVE(MoveLast);
    RG_RESOLVE(MoveTo);
    RG_RESOLVE(IsBOF);
    RG_RESOLVE(IsEOF);
    RG_RESOLVE(GetValue);
    RG_RESOLVE(GetData);
    RG_RESOLVE(GetFieldString);
    RG_RESOLVE(GetFieldFloat);
    RG_RESOLVE(SetFieldString);
    RG_RESOLVE(SetFieldFloat);
    RG_RESOLVE(AddNew);
    RG_RESOLVE(Delete);
    RG_RESOLVE(Update);
#undef RG_RESOLVE
    return a;
}

HMODULE Provider() { return GetModuleHandleW(L"rgtestprov.dll"); }

template <typename F>
F ProviderFn(const char* name) {
    HMODULE m = Provider();
    return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

int ProviderInt(const char* name) {
    auto f = ProviderFn<tp_int_fn>(name);
    if (!f) {
        ADD_FAILURE() << "rgtestprov.dll not loaded or lacks " << name;
        return -1;
    }
    return f();
}

std::string ProviderText(tp_text_fn f) {
    if (!f) {
        ADD_FAILURE() << "rgtestprov.dll not loaded";
        return {};
    }
    const int n = f(nullptr, 0);
    std::vector<char> buf(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
    f(buf.data(), static_cast<int>(buf.size()));
    return std::string(buf.data());
}

} // namespace

const RowgateApi& Api() {
    static const RowgateApi api = LoadApi();
    return api;
}

std::string DataSource(const std::string& name, const std::string& content) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"rowgate_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                              win::FromUtf8(name) + L".txt";
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) {
        ADD_FAILURE() << "cannot write data file";
        return {};
    }
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    return "Provider=Quillet.TestProvider;Data Source=" + win::ToAnsi(path);
}

int LiveObjects() { return ProviderInt("tp_LiveObjects"); }
int HeldRows() { return ProviderInt("tp_HeldRows"); }
int LiveAccessors() { return ProviderInt("tp_LiveAccessors"); }

void ResetRecording() {
    if (auto f = ProviderFn<tp_void_fn>("tp_Reset")) f();
}

std::string RecordedProperties() { return ProviderText(ProviderFn<tp_text_fn>("tp_RecordedPropertiesText")); }
std::string CallLog() { return ProviderText(ProviderFn<tp_text_fn>("tp_CallLogText")); }

std::string TableText(const std::string& table) {
    auto f = ProviderFn<tp_table_text_fn>("tp_TableText");
    if (!f) {
        ADD_FAILURE() << "rgtestprov.dll not loaded";
        return {};
    }
    const int n = f(table.c_str(), nullptr, 0);
    if (n < 0) return "<unknown table>";
    std::vector<char> buf(static_cast<size_t>(n) + 1, '\0');
    f(table.c_str(), buf.data(), static_cast<int>(buf.size()));
    return std::string(buf.data());
}

std::string Ansi(const std::wstring& text) { return win::ToAnsi(text); }
std::string AnsiFromUtf8(const std::string& utf8) { return win::ToAnsi(win::FromUtf8(utf8)); }

size_t PrivateBytes() {
    size_t total = 0;
    MEMORY_BASIC_INFORMATION mbi;
    for (const char* p = nullptr; VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi;) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) total += mbi.RegionSize;
        const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= p) break;
        p = next;
    }
    return total;
}

size_t BusyHeapBytes() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    size_t total = 0;
    for (HANDLE heap : heaps) {
        PROCESS_HEAP_ENTRY e{};
        if (!HeapLock(heap)) continue;
        while (HeapWalk(heap, &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += e.cbData;
        HeapUnlock(heap);
    }
    return total;
}

DWORD HandleCount() {
    DWORD n = 0;
    GetProcessHandleCount(GetCurrentProcess(), &n);
    return n;
}

RgHandle OpenData(const std::string& name, const std::string& content) {
    return Api().OpenDBSourceByStr(DataSource(name, content).c_str());
}

std::string FieldString(RgHandle h, int column) {
    std::vector<char> buf(1 << 16, '\0');
    if (!Api().GetFieldString(h, column, buf.data())) return "<fail>";
    return std::string(buf.data());
}

std::string ColName(RgHandle h, int column) {
    char buf[512] = {};
    if (!Api().GetColName(h, column, buf)) return "<fail>";
    return buf;
}

void ComEnvironment::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(RegisterTestServers());
    ASSERT_NE(Api().module, nullptr);
}

void ComEnvironment::TearDown() { CoUninitialize(); }

} // namespace rgtest

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new rgtest::ComEnvironment);
    return RUN_ALL_TESTS();
}
