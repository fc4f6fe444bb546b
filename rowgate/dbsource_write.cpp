// Changing the row set: values written into the row buffer and sent to the
// current row, and the insert, delete and update of whole rows.
#include "dbsource.h"

#include <oleauto.h>

#include <algorithm>
#include <cstring>

#include "win/strings.h"

namespace rowgate {

HRESULT DBSource::SendRow() {
    if (!rowsetChange_) return E_NOINTERFACE;
    return buffer_.SendTo(rowsetChange_.get());
}

int DBSource::InsertRow() {
    if (!rowsetOpen_ || !rowsetChange_) return 0;
    buffer_.ReleaseRow();
    if (!buffer_.HasAccessor()) return 0;
    return SUCCEEDED(buffer_.InsertInto(rowsetChange_.get())) ? 1 : 0;
}

int DBSource::DeleteRow() {
    if (!rowsetOpen_ || !rowsetChange_) return 0;
    const HROW row = buffer_.Row();
    const HRESULT hr = rowsetChange_->DeleteRows(DB_NULL_HCHAPTER, 1, &row, nullptr);
    return SUCCEEDED(hr) ? 1 : 0;
}

int DBSource::CommitRow() {
    if (!rowsetOpen_ || !rowset_) return 0;
    win::ComPtr<IRowsetUpdate> update;
    if (FAILED(rowset_.As(update, IID_IRowsetUpdate)) || !update) return 0;
    const HROW row = buffer_.Row();
    win::UniqueCoTaskMem<DBROWSTATUS> statuses;
    const HRESULT hr = update->Update(DB_NULL_HCHAPTER, 1, &row, nullptr, nullptr, statuses.put());
    return SUCCEEDED(hr) ? 1 : 0;
}

HRESULT DBSource::WriteText(int column, const char* text) {
    if (!rowsetOpen_ || !rowset_) return E_FAIL;
    const std::wstring wide = text ? win::FromAnsi(text) : std::wstring();
    if (RowBuffer::Column* c = buffer_.Find(column)) {
        const DBSTATUS status = wide.empty() ? DBSTATUS_S_DEFAULT : DBSTATUS_S_OK;
        unsigned char* place = buffer_.Value(*c);
        const size_t size = c->info.ulColumnSize;
        switch (c->info.wType) {
        case DBTYPE_WSTR: {
            const size_t room = size / 2 > 0 ? size / 2 - 1 : 0;
            const size_t n = std::min(wide.size(), room);
            std::memset(place, 0, size);
            std::memcpy(place, wide.data(), n * 2);
            buffer_.SetLength(*c, n * 2);
            buffer_.SetStatus(*c, status);
            break;
        }
        case DBTYPE_BSTR: {
            win::UniqueBstr b(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
            if (!b) return E_OUTOFMEMORY;
            buffer_.PutBstr(*c, std::move(b));
            buffer_.SetLength(*c, sizeof(BSTR));
            buffer_.SetStatus(*c, status);
            break;
        }
        case DBTYPE_STR: {
            const std::string narrow = win::ToAnsi(wide);
            const size_t room = size > 0 ? size - 1 : 0;
            size_t n = 0;
            // Cut at a character boundary: half a double-byte character would
            // store a different character, or none at all.
            while (n < narrow.size()) {
                const size_t step = IsDBCSLeadByte(static_cast<BYTE>(narrow[n])) && n + 1 < narrow.size() ? 2 : 1;
                if (n + step > room) break;
                n += step;
            }
            std::memcpy(place, narrow.data(), n);
            place[n] = '\0';
            buffer_.SetLength(*c, n);
            buffer_.SetStatus(*c, status);
            break;
        }
        default:
            break;
        }
    }
    return SendRow();
}

namespace {

// The variant type a real converts to for a bound column type; VT_EMPTY
// when the column takes no real.
VARTYPE RealTarget(DBTYPE type) {
    switch (type) {
    case DBTYPE_I2: return VT_I2;
    case DBTYPE_I4: return VT_I4;
    case DBTYPE_R4: return VT_R4;
    case DBTYPE_R8: return VT_R8;
    case DBTYPE_CY: return VT_CY;
    case DBTYPE_DATE: return VT_DATE;
    case DBTYPE_BOOL: return VT_BOOL;
    case DBTYPE_DECIMAL: return VT_DECIMAL;
    case DBTYPE_I1: return VT_I1;
    case DBTYPE_UI1: return VT_UI1;
    case DBTYPE_UI2: return VT_UI2;
    case DBTYPE_UI4: return VT_UI4;
    case DBTYPE_DBTIMESTAMP: return VT_DATE;
    default: return VT_EMPTY;
    }
}

} // namespace

HRESULT DBSource::WriteReal(int column, double x) {
    if (!rowsetOpen_ || !rowset_) return E_FAIL;
    if (RowBuffer::Column* c = buffer_.Find(column)) {
        win::UniqueVariant src;
        src.get().vt = VT_R8;
        src.get().dblVal = x;
        buffer_.SetStatus(*c, DBSTATUS_S_OK);
        const VARTYPE target = RealTarget(c->info.wType);
        if (target != VT_EMPTY) {
            win::UniqueVariant converted;
            const HRESULT hr = VariantChangeType(converted.put(), &src.get(), 0, target);
            if (FAILED(hr)) return hr;
            const VARIANT& dst = converted.get();
            unsigned char* place = buffer_.Value(*c);
            switch (c->info.wType) {
            case DBTYPE_I2: std::memcpy(place, &dst.iVal, 2); break;
            case DBTYPE_I4: std::memcpy(place, &dst.lVal, 4); break;
            case DBTYPE_R4: std::memcpy(place, &dst.fltVal, 4); break;
            case DBTYPE_R8: std::memcpy(place, &dst.dblVal, 8); break;
            case DBTYPE_CY: std::memcpy(place, &dst.cyVal, 8); break;
            case DBTYPE_DATE: std::memcpy(place, &dst.date, 8); break;
            case DBTYPE_BOOL: std::memcpy(place, &dst.boolVal, 2); break;
            case DBTYPE_DECIMAL: {
                DECIMAL d = dst.decVal;
                d.wReserved = 0;
                std::memcpy(place, &d, sizeof d);
                break;
            }
            case DBTYPE_I1: std::memcpy(place, &dst.cVal, 1); break;
            case DBTYPE_UI1: std::memcpy(place, &dst.bVal, 1); break;
            case DBTYPE_UI2: std::memcpy(place, &dst.uiVal, 2); break;
            case DBTYPE_UI4: std::memcpy(place, &dst.ulVal, 4); break;
            case DBTYPE_DBTIMESTAMP: {
                SYSTEMTIME st;
                if (!VariantTimeToSystemTime(dst.date, &st)) return DISP_E_OVERFLOW;
                DBTIMESTAMP ts{};
                ts.year = static_cast<SHORT>(st.wYear);
                ts.month = st.wMonth;
                ts.day = st.wDay;
                ts.hour = st.wHour;
                ts.minute = st.wMinute;
                ts.second = st.wSecond;
                ts.fraction = 0;
                std::memcpy(place, &ts, sizeof ts);
                break;
            }
            default: break;
            }
            buffer_.SetLength(*c, c->info.ulColumnSize);
        }
    }
    return SendRow();
}

} // namespace rowgate
