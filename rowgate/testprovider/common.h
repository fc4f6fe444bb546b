// Shared plumbing of the test provider: COM object base with aggregation and
// live counting, identifiers mingw's libraries lack, and the process-wide
// recording that tests read back through the tp_ exports.
#pragma once
#include <windows.h>
#include <oledb.h>
#include <oledberr.h>

#include <atomic>
#include <string>

namespace tp {

// Own names, so nothing clashes with a library that happens to carry them.
namespace guid {
inline constexpr GUID kPropsetRowset = {0xc8b522be, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr GUID kPropsetDbInit = {0xc8b522bc, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr GUID kPropsetDbInitAll = {0xc8b522ca, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr GUID kPropsetDataSourceInfo = {0xc8b522bb, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr GUID kPropsetDataSourceInfoAll = {0xc8b522c1, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr GUID kPropsetRowsetAll = {0xc8b522c2, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr GUID kPropsetSession = {0xc8b522c6, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr GUID kSchemaTables = {0xc8b52229, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr GUID kSchemaColumns = {0xc8b52214, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr GUID kDialectDefault = {0xc8b521fb, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr GUID kDialectSql = {0xc8b521fa, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr GUID kProvider = {0xf8a695fb, 0x076f, 0x4695, {0xa0, 0xb3, 0x79, 0x1f, 0x22, 0xa6, 0x3d, 0x14}};
inline constexpr GUID kDataLinks = {0x2206cdb2, 0x19c1, 0x11d1, {0x89, 0xe0, 0x00, 0xc0, 0x4f, 0xd7, 0xa8, 0x29}};
inline constexpr GUID kMsdaInitialize = {0x2206cdb0, 0x19c1, 0x11d1, {0x89, 0xe0, 0x00, 0xc0, 0x4f, 0xd7, 0xa8, 0x29}};
inline constexpr GUID kIidDBPromptInitialize = {0x2206ccb0, 0x19c1, 0x11d1, {0x89, 0xe0, 0x00, 0xc0, 0x4f, 0xd7, 0xa8, 0x29}};
inline constexpr GUID kIidDataInitialize = {0x2206ccb1, 0x19c1, 0x11d1, {0x89, 0xe0, 0x00, 0xc0, 0x4f, 0xd7, 0xa8, 0x29}};
} // namespace guid

extern std::atomic<long> g_liveObjects;
extern std::atomic<long> g_heldRows;
extern std::atomic<long> g_liveAccessors;
extern std::atomic<long> g_serverLocks;
extern HMODULE g_module;

// Base of every provider object.  The inner IUnknown is the non-delegating
// one an aggregating outer object holds; every interface of the object
// delegates to the controlling unknown, which is the outer object when
// aggregated and the inner one otherwise.
class ObjectBase {
public:
    explicit ObjectBase(IUnknown* outer) : outer_(outer ? outer : &inner_) {
        inner_.self = this;
        ++g_liveObjects;
    }
    virtual ~ObjectBase() { --g_liveObjects; }
    ObjectBase(const ObjectBase&) = delete;
    ObjectBase& operator=(const ObjectBase&) = delete;

    IUnknown* Controlling() const noexcept { return outer_; }
    IUnknown* Inner() noexcept { return &inner_; }

protected:
    // The interface pointer for iid (IUnknown excluded), or null.
    virtual void* Find(REFIID iid) = 0;

private:
    struct InnerUnknown : IUnknown {
        ObjectBase* self = nullptr;
        STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
            if (!ppv) return E_POINTER;
            void* p = IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(this) : self->Find(iid);
            *ppv = p;
            if (!p) return E_NOINTERFACE;
            static_cast<IUnknown*>(p)->AddRef();
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return ++self->refs_; }
        STDMETHODIMP_(ULONG) Release() override {
            ULONG r = --self->refs_;
            if (r == 0) delete self;
            return r;
        }
    };
    InnerUnknown inner_;
    std::atomic<ULONG> refs_{1};
    IUnknown* outer_;
};

#define TP_DELEGATING_IUNKNOWN                                                                     \
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {                                 \
        return Controlling()->QueryInterface(iid, ppv);                                            \
    }                                                                                              \
    STDMETHODIMP_(ULONG) AddRef() override { return Controlling()->AddRef(); }                     \
    STDMETHODIMP_(ULONG) Release() override { return Controlling()->Release(); }

// Hands a freshly made object (holding its one creation reference) to the
// caller: the inner unknown when aggregated, else the asked interface.
HRESULT HandOut(ObjectBase* obj, IUnknown* outer, REFIID iid, void** ppv);

// Checks the aggregation rule shared by all creating methods.
inline HRESULT CheckAggregation(IUnknown* outer, REFIID iid) {
    return (outer && !IsEqualIID(iid, IID_IUnknown)) ? DB_E_NOAGGREGATION : S_OK;
}

// Recording read by tests.
void RecordText(const std::string& line);  // appends to the properties record
void RecordBlockStart();
void LogCall(const std::string& line);     // appends to the call log
std::string HrText(HRESULT hr);
std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
std::wstring GuidText(const GUID& g);

// Copies text into a caller buffer the way the tp_ exports promise.
int CopyOut(const std::string& text, char* buf, int size);

} // namespace tp
