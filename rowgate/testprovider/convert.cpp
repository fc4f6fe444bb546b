#include "convert.h"

#include <oleauto.h>

#include <cstring>

#include "common.h"
#include "win/strings.h"

namespace tp {
namespace {

class Stream final : public ObjectBase, public ISequentialStream {
public:
    explicit Stream(std::string bytes) : ObjectBase(nullptr), bytes_(std::move(bytes)) {}
    TP_DELEGATING_IUNKNOWN

    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        if (!pv) return STG_E_INVALIDPOINTER;
        size_t left = bytes_.size() - pos_;
        ULONG n = cb < left ? cb : static_cast<ULONG>(left);
        std::memcpy(pv, bytes_.data() + pos_, n);
        pos_ += n;
        if (pcbRead) *pcbRead = n;
        return S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG* pcbWritten) override {
        if (pcbWritten) *pcbWritten = 0;
        return STG_E_ACCESSDENIED;
    }

protected:
    void* Find(REFIID iid) override {
        return IsEqualIID(iid, IID_ISequentialStream) ? static_cast<ISequentialStream*>(this) : nullptr;
    }

private:
    std::string bytes_;
    size_t pos_ = 0;
};

bool IsText(DBTYPE t) { return t == DBTYPE_STR || t == DBTYPE_WSTR || t == DBTYPE_BSTR; }

bool IsScalar(DBTYPE t) {
    switch (t) {
    case DBTYPE_I1: case DBTYPE_I2: case DBTYPE_I4: case DBTYPE_I8: case DBTYPE_UI1: case DBTYPE_UI2:
    case DBTYPE_UI4: case DBTYPE_UI8: case DBTYPE_R4: case DBTYPE_R8: case DBTYPE_CY: case DBTYPE_DATE:
    case DBTYPE_BOOL: case DBTYPE_DECIMAL: case DBTYPE_NUMERIC: case DBTYPE_ERROR: case DBTYPE_DBDATE:
    case DBTYPE_DBTIME: case DBTYPE_DBTIMESTAMP:
        return true;
    default: return false;
    }
}

VARTYPE VariantTypeFor(DBTYPE t) {
    switch (t) {
    case DBTYPE_I1: return VT_I1;
    case DBTYPE_UI1: return VT_UI1;
    case DBTYPE_I2: return VT_I2;
    case DBTYPE_UI2: return VT_UI2;
    case DBTYPE_I4: case DBTYPE_ERROR: return VT_I4;
    case DBTYPE_UI4: return VT_UI4;
    case DBTYPE_I8: return VT_I8;
    case DBTYPE_UI8: return VT_UI8;
    case DBTYPE_R4: return VT_R4;
    case DBTYPE_R8: return VT_R8;
    case DBTYPE_CY: return VT_CY;
    case DBTYPE_DATE: case DBTYPE_DBDATE: case DBTYPE_DBTIME: case DBTYPE_DBTIMESTAMP: return VT_DATE;
    case DBTYPE_BOOL: return VT_BOOL;
    case DBTYPE_DECIMAL: case DBTYPE_NUMERIC: return VT_DECIMAL;
    default: return VT_BSTR;
    }
}

std::wstring Raw16(const std::string& raw) {
    return std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / 2);
}
std::string Bytes16(const std::wstring& w) {
    return std::string(reinterpret_cast<const char*>(w.data()), w.size() * sizeof(wchar_t));
}

class Variant {
public:
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT v;
};

bool StampToDate(int y, int mo, int d, int h, int mi, int s, double& out) {
    SYSTEMTIME st{static_cast<WORD>(y), static_cast<WORD>(mo), 0, static_cast<WORD>(d),
                  static_cast<WORD>(h), static_cast<WORD>(mi), static_cast<WORD>(s), 0};
    return SystemTimeToVariantTime(&st, &out) != 0;
}

// The cell as a VARIANT for the platform's conversions; false when the
// column's type has no VARIANT form (BYTES) or the value does not convert.
bool ToVariant(const ColumnDef& col, const Cell& cell, VARIANT& v) {
    const std::string& r = cell.raw;
    auto get = [&](void* dst, size_t n) { std::memcpy(dst, r.data(), r.size() < n ? r.size() : n); };
    switch (col.type) {
    case DBTYPE_I1: v.vt = VT_I1; get(&v.cVal, 1); return true;
    case DBTYPE_UI1: v.vt = VT_UI1; get(&v.bVal, 1); return true;
    case DBTYPE_I2: v.vt = VT_I2; get(&v.iVal, 2); return true;
    case DBTYPE_UI2: v.vt = VT_UI2; get(&v.uiVal, 2); return true;
    case DBTYPE_I4: case DBTYPE_ERROR: v.vt = VT_I4; get(&v.lVal, 4); return true;
    case DBTYPE_UI4: v.vt = VT_UI4; get(&v.ulVal, 4); return true;
    case DBTYPE_I8: v.vt = VT_I8; get(&v.llVal, 8); return true;
    case DBTYPE_UI8: v.vt = VT_UI8; get(&v.ullVal, 8); return true;
    case DBTYPE_R4: v.vt = VT_R4; get(&v.fltVal, 4); return true;
    case DBTYPE_R8: v.vt = VT_R8; get(&v.dblVal, 8); return true;
    case DBTYPE_CY: v.vt = VT_CY; get(&v.cyVal, 8); return true;
    case DBTYPE_DATE: v.vt = VT_DATE; get(&v.date, 8); return true;
    case DBTYPE_BOOL: v.vt = VT_BOOL; get(&v.boolVal, 2); return true;
    case DBTYPE_DECIMAL: get(&v.decVal, sizeof(DECIMAL)); v.vt = VT_DECIMAL; return true;
    case DBTYPE_NUMERIC: {
        DB_NUMERIC n{};
        get(&n, sizeof n);
        DECIMAL d{};
        std::memcpy(&d.Lo64, n.val, 8);
        std::memcpy(&d.Hi32, n.val + 8, 4);
        for (int k = 12; k < 16; ++k)
            if (n.val[k]) return false;
        d.scale = n.scale;
        d.sign = n.sign ? 0 : DECIMAL_NEG;
        v.decVal = d;
        v.vt = VT_DECIMAL;
        return true;
    }
    case DBTYPE_DBDATE: {
        DBDATE d{};
        get(&d, sizeof d);
        v.vt = VT_DATE;
        return StampToDate(d.year, d.month, d.day, 0, 0, 0, v.date);
    }
    case DBTYPE_DBTIME: {
        DBTIME t{};
        get(&t, sizeof t);
        v.vt = VT_DATE;
        return StampToDate(1899, 12, 30, t.hour, t.minute, t.second, v.date);
    }
    case DBTYPE_DBTIMESTAMP: {
        DBTIMESTAMP t{};
        get(&t, sizeof t);
        v.vt = VT_DATE;
        return StampToDate(t.year, t.month, t.day, t.hour, t.minute, t.second, v.date);
    }
    case DBTYPE_GUID: {
        GUID g{};
        get(&g, sizeof g);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(GuidText(g).c_str());
        return v.bstrVal != nullptr;
    }
    case DBTYPE_STR: {
        std::wstring w = win::FromAnsi(r);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
        return v.bstrVal != nullptr;
    }
    case DBTYPE_WSTR: case DBTYPE_BSTR: case DBTYPE_VARIANT: {
        std::wstring w = Raw16(r);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
        return v.bstrVal != nullptr;
    }
    default: return false;
    }
}

DBSTATUS ConvertFailure(HRESULT hr) {
    return hr == DISP_E_OVERFLOW ? DBSTATUS_E_DATAOVERFLOW : DBSTATUS_E_CANTCONVERTVALUE;
}

// Converts a VARIANT into the raw representation of `type` (as a cell holds
// it); `precision` is used for NUMERIC results.
DBSTATUS VariantToRaw(DBTYPE type, const VARIANT& src, BYTE precision, std::string& raw) {
    Variant dst;
    HRESULT hr = VariantChangeType(&dst.v, const_cast<VARIANT*>(&src), 0, VariantTypeFor(type));
    if (FAILED(hr)) return ConvertFailure(hr);
    const VARIANT& v = dst.v;
    // A fresh string rather than assign(): GCC 12 warns falsely (-Wrestrict)
    // about the overlap check assign() inlines for one- and two-byte copies.
    auto put = [&](const void* p, size_t n) { raw = std::string(static_cast<const char*>(p), n); };
    switch (type) {
    case DBTYPE_I1: put(&v.cVal, 1); break;
    case DBTYPE_UI1: put(&v.bVal, 1); break;
    case DBTYPE_I2: put(&v.iVal, 2); break;
    case DBTYPE_UI2: put(&v.uiVal, 2); break;
    case DBTYPE_I4: case DBTYPE_ERROR: put(&v.lVal, 4); break;
    case DBTYPE_UI4: put(&v.ulVal, 4); break;
    case DBTYPE_I8: put(&v.llVal, 8); break;
    case DBTYPE_UI8: put(&v.ullVal, 8); break;
    case DBTYPE_R4: put(&v.fltVal, 4); break;
    case DBTYPE_R8: put(&v.dblVal, 8); break;
    case DBTYPE_CY: put(&v.cyVal, 8); break;
    case DBTYPE_DATE: put(&v.date, 8); break;
    case DBTYPE_BOOL: put(&v.boolVal, 2); break;
    case DBTYPE_DECIMAL: {
        DECIMAL d = v.decVal;
        d.wReserved = 0;
        put(&d, sizeof d);
        break;
    }
    case DBTYPE_NUMERIC: {
        DB_NUMERIC n{};
        n.precision = precision ? precision : 38;
        n.scale = v.decVal.scale;
        n.sign = (v.decVal.sign & DECIMAL_NEG) ? 0 : 1;
        ULONGLONG lo = v.decVal.Lo64;
        ULONG hi = v.decVal.Hi32;
        std::memcpy(n.val, &lo, 8);
        std::memcpy(n.val + 8, &hi, 4);
        put(&n, sizeof n);
        break;
    }
    case DBTYPE_DBDATE: case DBTYPE_DBTIME: case DBTYPE_DBTIMESTAMP: {
        SYSTEMTIME st{};
        if (!VariantTimeToSystemTime(v.date, &st)) return DBSTATUS_E_CANTCONVERTVALUE;
        if (type == DBTYPE_DBDATE) {
            DBDATE d{static_cast<SHORT>(st.wYear), st.wMonth, st.wDay};
            put(&d, sizeof d);
        } else if (type == DBTYPE_DBTIME) {
            DBTIME t{st.wHour, st.wMinute, st.wSecond};
            put(&t, sizeof t);
        } else {
            DBTIMESTAMP t{static_cast<SHORT>(st.wYear), st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, 0};
            put(&t, sizeof t);
        }
        break;
    }
    case DBTYPE_GUID: {
        GUID g{};
        if (FAILED(IIDFromString(v.bstrVal, &g))) return DBSTATUS_E_CANTCONVERTVALUE;
        put(&g, sizeof g);
        break;
    }
    case DBTYPE_STR: raw = win::ToAnsi(std::wstring(v.bstrVal, SysStringLen(v.bstrVal))); break;
    case DBTYPE_WSTR: case DBTYPE_BSTR: case DBTYPE_VARIANT:
        raw = Bytes16(std::wstring(v.bstrVal, SysStringLen(v.bstrVal)));
        break;
    default: return DBSTATUS_E_CANTCONVERTVALUE;
    }
    return DBSTATUS_S_OK;
}

// The column's value as text, the way a consumer binding it as text sees it.
bool ColumnText(const ColumnDef& col, const Cell& cell, std::wstring& out) {
    switch (col.type) {
    case DBTYPE_STR: out = win::FromAnsi(cell.raw); return true;
    case DBTYPE_WSTR: case DBTYPE_BSTR: case DBTYPE_VARIANT: out = Raw16(cell.raw); return true;
    case DBTYPE_BYTES: case DBTYPE_GUID: case DBTYPE_NUMERIC: case DBTYPE_DECIMAL: case DBTYPE_DBDATE:
    case DBTYPE_DBTIME: case DBTYPE_DBTIMESTAMP: case DBTYPE_CY: case DBTYPE_R8: case DBTYPE_R4:
        // Locale-free forms, as the data file writes them.
        out = FormatCell(col, cell);
        return true;
    default: {
        Variant v;
        if (!ToVariant(col, cell, v.v)) return false;
        Variant s;
        if (FAILED(VariantChangeType(&s.v, &v.v, 0, VT_BSTR))) return false;
        out.assign(s.v.bstrVal, SysStringLen(s.v.bstrVal));
        return true;
    }
    }
}

// Copies a variable-length value into a bound buffer of cbMaxLen bytes with
// a terminator of `unit` bytes (0 for BYTES); reports truncation.
DBSTATUS CopyVariable(const std::string& bytes, size_t unit, DBLENGTH cbMaxLen, BYTE* dst) {
    size_t room = cbMaxLen >= unit ? cbMaxLen - unit : 0;
    if (unit) room -= room % unit;
    size_t n = bytes.size() < room ? bytes.size() : room;
    if (dst) {
        std::memcpy(dst, bytes.data(), n);
        if (unit && cbMaxLen >= unit) std::memset(dst + n, 0, unit);
    }
    return n < bytes.size() ? DBSTATUS_S_TRUNCATED : DBSTATUS_S_OK;
}

} // namespace

ISequentialStream* MakeStream(std::string bytes) { return new Stream(std::move(bytes)); }

bool CanConvert(DBTYPE from, DBTYPE to) {
    from &= ~DBTYPE_BYREF;
    if (to & (DBTYPE_BYREF | DBTYPE_ARRAY | DBTYPE_VECTOR)) return false;
    if (from == to) return true;
    if (to == DBTYPE_IUNKNOWN) return IsText(from) || from == DBTYPE_BYTES;
    if (to == DBTYPE_VARIANT) return from != DBTYPE_BYTES && from != DBTYPE_IUNKNOWN;
    if (IsText(to)) return from != DBTYPE_IUNKNOWN;
    if (IsScalar(to)) return IsScalar(from) || IsText(from) || from == DBTYPE_VARIANT;
    if (to == DBTYPE_GUID) return IsText(from) || from == DBTYPE_VARIANT;
    return false;
}

DBSTATUS ReadBinding(const ColumnDef& col, const Cell& cell, const DBBINDING& b, BYTE* data) {
    BYTE* value = (b.dwPart & DBPART_VALUE) ? data + b.obValue : nullptr;
    DBLENGTH length = 0;
    DBSTATUS status = DBSTATUS_S_OK;
    DBTYPE to = b.wType;

    if (cell.state == CellState::Null) {
        status = DBSTATUS_S_ISNULL;
    } else if (cell.state == CellState::CantCreate) {
        status = DBSTATUS_E_CANTCREATE;
    } else if (to == DBTYPE_IUNKNOWN) {
        length = cell.raw.size();
        if (value) {
            // STR columns stream their narrow bytes; wide ones UTF-16 units.
            ISequentialStream* s = MakeStream(cell.raw);
            REFIID iid = b.pObject ? b.pObject->iid : IID_IUnknown;
            void* out = nullptr;
            HRESULT hr = s->QueryInterface(iid, &out);
            s->Release();
            if (FAILED(hr)) status = DBSTATUS_E_CANTCREATE;
            else std::memcpy(value, &out, sizeof out);
        }
    } else if (to == col.type && (to == DBTYPE_STR || to == DBTYPE_BYTES)) {
        length = cell.raw.size();
        status = CopyVariable(cell.raw, to == DBTYPE_STR ? 1 : 0, b.cbMaxLen, value);
    } else if (to == col.type && to == DBTYPE_WSTR) {
        length = cell.raw.size();
        status = CopyVariable(cell.raw, 2, b.cbMaxLen, value);
    } else if (to == col.type && FixedSize(to) && to != DBTYPE_BSTR && to != DBTYPE_VARIANT) {
        length = FixedSize(to);
        if (value) std::memcpy(value, cell.raw.data(), cell.raw.size() < length ? cell.raw.size() : length);
    } else if (IsText(to)) {
        std::wstring text;
        if (!ColumnText(col, cell, text)) {
            status = DBSTATUS_E_CANTCONVERTVALUE;
        } else if (to == DBTYPE_STR) {
            std::string bytes = col.type == DBTYPE_STR ? cell.raw : win::ToAnsi(text);
            length = bytes.size();
            status = CopyVariable(bytes, 1, b.cbMaxLen, value);
        } else if (to == DBTYPE_WSTR) {
            std::string bytes = Bytes16(text);
            length = bytes.size();
            status = CopyVariable(bytes, 2, b.cbMaxLen, value);
        } else {
            length = sizeof(BSTR);
            if (value) {
                BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
                if (!s) status = DBSTATUS_E_CANTCREATE;
                std::memcpy(value, &s, sizeof s);
            }
        }
    } else if (to == DBTYPE_VARIANT) {
        length = sizeof(VARIANT);
        Variant v;
        if (!ToVariant(col, cell, v.v)) {
            status = DBSTATUS_E_CANTCONVERTVALUE;
        } else if (value) {
            VARIANT out;
            VariantInit(&out);
            VariantCopy(&out, &v.v);
            std::memcpy(value, &out, sizeof out);
        }
    } else {
        Variant v;
        std::string raw;
        if (!ToVariant(col, cell, v.v)) {
            status = DBSTATUS_E_CANTCONVERTVALUE;
        } else {
            status = VariantToRaw(to, v.v, b.bPrecision, raw);
            if (status == DBSTATUS_S_OK) {
                length = FixedSize(to);
                if (value) std::memcpy(value, raw.data(), raw.size() < length ? raw.size() : length);
            }
        }
    }
    if (b.dwPart & DBPART_LENGTH) std::memcpy(data + b.obLength, &length, sizeof length);
    if (b.dwPart & DBPART_STATUS) std::memcpy(data + b.obStatus, &status, sizeof status);
    return status;
}

DBSTATUS WriteBinding(const ColumnDef& col, const DBBINDING& b, const BYTE* data, Cell& out, bool& ignored) {
    ignored = false;
    DBSTATUS status = DBSTATUS_S_OK;
    if (b.dwPart & DBPART_STATUS) std::memcpy(&status, data + b.obStatus, sizeof status);
    // The provider never dereferences a consumer's storage object: a buffer
    // may still carry the pointer of a stream that has been released.
    if (b.wType == DBTYPE_IUNKNOWN || status == DBSTATUS_S_IGNORE) {
        ignored = true;
        return DBSTATUS_S_OK;
    }
    if (col.readonly) return DBSTATUS_E_PERMISSIONDENIED;
    if (status == DBSTATUS_S_DEFAULT) {
        out = DefaultCell(col);
        return out.state == CellState::Null ? DBSTATUS_S_ISNULL : DBSTATUS_S_OK;
    }
    if (status == DBSTATUS_S_ISNULL) {
        if (!col.nullable) return DBSTATUS_E_INTEGRITYVIOLATION;
        out = Cell{};
        return DBSTATUS_S_ISNULL;
    }
    if (status != DBSTATUS_S_OK) return DBSTATUS_E_BADSTATUS;
    if (!(b.dwPart & DBPART_VALUE)) return DBSTATUS_E_UNAVAILABLE;
    const BYTE* value = data + b.obValue;
    DBLENGTH length = 0;
    bool hasLength = (b.dwPart & DBPART_LENGTH) != 0;
    if (hasLength) std::memcpy(&length, data + b.obLength, sizeof length);

    // Bound text and bytes: a consumer's length never reaches past its buffer
    // nor past a terminator.
    auto boundText8 = [&] {
        size_t n = hasLength ? length : b.cbMaxLen;
        if (n > b.cbMaxLen) n = b.cbMaxLen;
        size_t k = 0;
        while (k < n && value[k]) ++k;
        return std::string(reinterpret_cast<const char*>(value), k);
    };
    auto boundText16 = [&] {
        size_t n = (hasLength ? length : b.cbMaxLen) / 2;
        if (n > b.cbMaxLen / 2) n = b.cbMaxLen / 2;
        const wchar_t* w = reinterpret_cast<const wchar_t*>(value);
        size_t k = 0;
        while (k < n && w[k]) ++k;
        return std::wstring(w, k);
    };

    Cell cell;
    cell.state = CellState::Value;
    DBTYPE from = b.wType;
    if (IsText(from) || from == DBTYPE_BYTES) {
        std::wstring text;
        if (from == DBTYPE_BYTES) {
            if (col.type != DBTYPE_BYTES) return DBSTATUS_E_CANTCONVERTVALUE;
            size_t n = hasLength ? length : b.cbMaxLen;
            if (n > b.cbMaxLen) n = b.cbMaxLen;
            cell.raw.assign(reinterpret_cast<const char*>(value), n);
        } else if (from == DBTYPE_STR && col.type == DBTYPE_STR) {
            cell.raw = boundText8();
        } else {
            if (from == DBTYPE_STR) text = win::FromAnsi(boundText8());
            else if (from == DBTYPE_WSTR) text = boundText16();
            else {
                BSTR s = nullptr;
                std::memcpy(&s, value, sizeof s);
                text.assign(s ? s : L"", s ? SysStringLen(s) : 0);
            }
            if (col.type == DBTYPE_STR) {
                cell.raw = win::ToAnsi(text);
            } else if (col.type == DBTYPE_WSTR || col.type == DBTYPE_BSTR || col.type == DBTYPE_VARIANT) {
                cell.raw = Bytes16(text);
            } else {
                std::wstring why;
                if (!ParseValue(col, text, cell, why)) {
                    Variant v;
                    v.v.vt = VT_BSTR;
                    v.v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
                    DBSTATUS st = VariantToRaw(col.type, v.v, col.precision, cell.raw);
                    if (st != DBSTATUS_S_OK) return st;
                    cell.state = CellState::Value;
                }
            }
        }
        size_t units = col.type == DBTYPE_WSTR ? cell.raw.size() / 2 : cell.raw.size();
        if ((col.type == DBTYPE_STR || col.type == DBTYPE_WSTR || col.type == DBTYPE_BYTES) && units > col.size)
            return DBSTATUS_E_DATAOVERFLOW;
    } else if (from == col.type && FixedSize(from) && from != DBTYPE_VARIANT) {
        cell.raw.assign(reinterpret_cast<const char*>(value), FixedSize(from));
    } else {
        ColumnDef bound;
        bound.type = from;
        Cell boundCell;
        boundCell.state = CellState::Value;
        Variant v;
        if (from == DBTYPE_VARIANT) {
            if (FAILED(VariantCopy(&v.v, reinterpret_cast<VARIANT*>(const_cast<BYTE*>(value))))) return DBSTATUS_E_CANTCONVERTVALUE;
        } else {
            size_t n = FixedSize(from);
            if (!n) return DBSTATUS_E_CANTCONVERTVALUE;
            boundCell.raw.assign(reinterpret_cast<const char*>(value), n);
            if (!ToVariant(bound, boundCell, v.v)) return DBSTATUS_E_CANTCONVERTVALUE;
        }
        if (col.type == DBTYPE_BYTES) return DBSTATUS_E_CANTCONVERTVALUE;
        DBSTATUS st = VariantToRaw(col.type, v.v, col.precision, cell.raw);
        if (st != DBSTATUS_S_OK) return st;
    }
    out = std::move(cell);
    return DBSTATUS_S_OK;
}

} // namespace tp
