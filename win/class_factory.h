// The class factory of an in-process COM server: one static object per
// class, living as long as the module, handing creation to a function.
#pragma once
#include <windows.h>
#include <unknwn.h>

#include <atomic>

namespace win {

class StaticClassFactory final : public IClassFactory {
public:
    // `create` decides about aggregation itself; `locks` counts LockServer.
    using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID iid, void** out);
    StaticClassFactory(CreateFunction create, std::atomic<long>& locks) : create_(create), locks_(locks) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Static object: its lifetime is the module's, so counting is moot.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return create_(outer, iid, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) ++locks_;
        else --locks_;
        return S_OK;
    }

private:
    CreateFunction create_;
    std::atomic<long>& locks_;
};

} // namespace win
