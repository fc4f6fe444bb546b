// OLE DB hands most interfaces out through an IUnknown** asked for by IID.
// Taking the reference over as the interface asked for keeps the ComPtr's
// own slot from being cast to another pointer type at every call.
#pragma once
#include "win/handles.h"

namespace rowgate {

// The reference in unk, obtained for T's IID, as a ComPtr<T>; unk is left empty.
template <typename T>
win::ComPtr<T> TakeAs(win::ComPtr<IUnknown>& unk) noexcept {
    return win::ComPtr<T>::Attach(static_cast<T*>(static_cast<void*>(unk.detach())));
}

} // namespace rowgate
