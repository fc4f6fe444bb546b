// The rowset: a cursor over the rows of one table that fetches both ways,
// hands out row handles, and changes rows immediately or, in deferred
// update mode, when the consumer calls Update.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "common.h"
#include "convert.h"
#include "objects.h"

namespace tp {

// ---- accessor table ------------------------------------------------------

HACCESSOR NextAccessorHandle() {
    static std::atomic<HACCESSOR> next{0x10000};
    return next += 0x10;
}

AccessorTable::~AccessorTable() { g_liveAccessors -= static_cast<long>(slots_.size()); }

Accessor* AccessorTable::Find(HACCESSOR h) {
    auto it = slots_.find(h);
    return it == slots_.end() ? nullptr : it->second.get();
}

HRESULT AccessorTable::AddRef(HACCESSOR h, DBREFCOUNT* refs) {
    Accessor* a = Find(h);
    if (!a) return DB_E_BADACCESSORHANDLE;
    ++a->refs;
    if (refs) *refs = a->refs;
    return S_OK;
}

HRESULT AccessorTable::Release(HACCESSOR h, DBREFCOUNT* refs) {
    Accessor* a = Find(h);
    if (!a) return DB_E_BADACCESSORHANDLE;
    ULONG left = --a->refs;
    if (refs) *refs = left;
    if (left == 0) {
        slots_.erase(h);
        --g_liveAccessors;
    }
    return S_OK;
}

HRESULT AccessorTable::GetBindings(HACCESSOR h, DBACCESSORFLAGS* flags, DBCOUNTITEM* c, DBBINDING** b) {
    if (!flags || !c || !b) return E_INVALIDARG;
    *c = 0;
    *b = nullptr;
    Accessor* a = Find(h);
    if (!a) return DB_E_BADACCESSORHANDLE;
    *flags = a->flags;
    if (a->bindings.empty()) return S_OK;
    auto* out = static_cast<DBBINDING*>(CoTaskMemAlloc(sizeof(DBBINDING) * a->bindings.size()));
    if (!out) return E_OUTOFMEMORY;
    for (size_t i = 0; i < a->bindings.size(); ++i) {
        out[i] = a->bindings[i];
        if (out[i].pObject) {
            out[i].pObject = static_cast<DBOBJECT*>(CoTaskMemAlloc(sizeof(DBOBJECT)));
            if (out[i].pObject) *out[i].pObject = a->objects[i];
        }
    }
    *c = a->bindings.size();
    *b = out;
    return S_OK;
}

// ---- column metadata -----------------------------------------------------

namespace {

// {C8B52232-5CF3-11CE-ADE5-00AA0044773D}: DBCOL_SPECIALCOL, propid 2 is the bookmark.
constexpr GUID kSpecialCol = {0xc8b52232, 0x5cf3, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};

BYTE PrecisionOf(const ColumnDef& c) {
    switch (c.type) {
    case DBTYPE_I1: case DBTYPE_UI1: return 3;
    case DBTYPE_I2: case DBTYPE_UI2: return 5;
    case DBTYPE_I4: case DBTYPE_UI4: return 10;
    case DBTYPE_I8: return 19;
    case DBTYPE_UI8: return 20;
    case DBTYPE_R4: return 7;
    case DBTYPE_R8: return 15;
    case DBTYPE_CY: return 19;
    case DBTYPE_NUMERIC: case DBTYPE_DECIMAL: return c.precision;
    case DBTYPE_DBTIMESTAMP: case DBTYPE_DATE: return 19;
    case DBTYPE_DBDATE: return 10;
    case DBTYPE_DBTIME: return 8;
    default: return 0xFF;
    }
}

} // namespace

ColumnDef BookmarkColumn() {
    ColumnDef c;
    c.type = DBTYPE_I4;
    c.size = 4;
    c.flags = DBCOLUMNFLAGS_ISBOOKMARK | DBCOLUMNFLAGS_ISFIXEDLENGTH;
    c.readonly = true;
    return c;
}

HRESULT ColumnInfo(const std::vector<const ColumnDef*>& cols, bool bookmark, DBORDINAL* pcColumns,
                   DBCOLUMNINFO** prgInfo, OLECHAR** ppStrings) {
    if (!pcColumns || !prgInfo || !ppStrings) return E_INVALIDARG;
    *pcColumns = 0;
    *prgInfo = nullptr;
    *ppStrings = nullptr;
    size_t n = cols.size() + (bookmark ? 1 : 0);
    size_t chars = 0;
    for (const ColumnDef* c : cols) chars += c->name.size() + 1;
    auto* info = static_cast<DBCOLUMNINFO*>(CoTaskMemAlloc(sizeof(DBCOLUMNINFO) * (n ? n : 1)));
    auto* strings = static_cast<OLECHAR*>(CoTaskMemAlloc(sizeof(OLECHAR) * (chars ? chars : 1)));
    if (!info || !strings) {
        CoTaskMemFree(info);
        CoTaskMemFree(strings);
        return E_OUTOFMEMORY;
    }
    std::memset(info, 0, sizeof(DBCOLUMNINFO) * (n ? n : 1));
    size_t k = 0;
    if (bookmark) {
        ColumnDef b = BookmarkColumn();
        DBCOLUMNINFO& ci = info[k++];
        ci.iOrdinal = 0;
        ci.dwFlags = b.flags;
        ci.ulColumnSize = b.size;
        ci.wType = b.type;
        ci.bPrecision = 10;
        ci.bScale = 0xFF;
        ci.columnid.eKind = DBKIND_GUID_PROPID;
        ci.columnid.uGuid.guid = kSpecialCol;
        ci.columnid.uName.ulPropid = 2;
    }
    OLECHAR* p = strings;
    for (size_t i = 0; i < cols.size(); ++i) {
        const ColumnDef& c = *cols[i];
        DBCOLUMNINFO& ci = info[k++];
        std::memcpy(p, c.name.c_str(), (c.name.size() + 1) * sizeof(OLECHAR));
        ci.pwszName = p;
        ci.iOrdinal = i + 1;
        ci.dwFlags = c.flags;
        ci.ulColumnSize = c.size;
        ci.wType = c.type;
        ci.bPrecision = PrecisionOf(c);
        ci.bScale = (c.type == DBTYPE_NUMERIC || c.type == DBTYPE_DECIMAL) ? c.scale : 0xFF;
        ci.columnid.eKind = DBKIND_NAME;
        ci.columnid.uName.pwszName = p;
        p += c.name.size() + 1;
    }
    *pcColumns = n;
    *prgInfo = info;
    *ppStrings = strings;
    return S_OK;
}

// ---- rowset --------------------------------------------------------------

namespace {

bool IsErrorStatus(DBSTATUS s) {
    return !(s == DBSTATUS_S_OK || s == DBSTATUS_S_ISNULL || s == DBSTATUS_S_TRUNCATED ||
             s == DBSTATUS_S_DEFAULT || s == DBSTATUS_S_IGNORE);
}

HRESULT Summarize(size_t total, size_t errors) {
    if (errors == 0) return S_OK;
    return errors >= total ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

class Rowset final : public ObjectBase,
                     public IRowsetLocate,
                     public IAccessor,
                     public IColumnsInfo,
                     public IRowsetInfo,
                     public IConvertType,
                     public IRowsetUpdate,
                     public IRowsetRefresh {
public:
    Rowset(RowsetArgs args, IUnknown* outer)
        : ObjectBase(outer), a_(std::move(args)) {
        if (a_.creator) a_.creator->AddRef();
        const RowsetProps& p = a_.props;
        bookmarks_ = p.On(DBPROP_BOOKMARKS);
        change_ = !a_.readOnly && a_.allowChange;
        deferred_ = change_ && p.On(DBPROP_IRowsetUpdate);
        scrollBack_ = p.On(DBPROP_CANSCROLLBACKWARDS);
        fetchBack_ = p.On(DBPROP_CANFETCHBACKWARDS);
        removeDeleted_ = p.On(DBPROP_REMOVEDELETED);
        otherInsert_ = p.On(DBPROP_OTHERINSERT);
        for (const auto& row : a_.table->rows) AddEntry(row);
    }
    ~Rowset() override {
        for (auto& e : rows_) g_heldRows -= static_cast<long>(e.holds);
        if (a_.creator) a_.creator->Release();
    }
    TP_DELEGATING_IUNKNOWN

    // IRowset
    STDMETHODIMP AddRefRows(DBCOUNTITEM cRows, const HROW rghRows[], DBREFCOUNT rgRefCounts[],
                            DBROWSTATUS rgRowStatus[]) override {
        if (cRows && !rghRows) return E_INVALIDARG;
        size_t errors = 0;
        for (DBCOUNTITEM i = 0; i < cRows; ++i) {
            Entry* e = EntryOf(rghRows[i]);
            DBROWSTATUS st = DBROWSTATUS_S_OK;
            if (!e) { st = DBROWSTATUS_E_INVALID; ++errors; }
            else { ++e->holds; ++g_heldRows; }
            if (rgRefCounts) rgRefCounts[i] = e ? e->holds : 0;
            if (rgRowStatus) rgRowStatus[i] = st;
        }
        return Summarize(cRows, errors);
    }

    STDMETHODIMP GetData(HROW hRow, HACCESSOR hAccessor, void* pData) override {
        Accessor* acc = accessors_.Find(hAccessor);
        if (!acc) return DB_E_BADACCESSORHANDLE;
        if (!(acc->flags & DBACCESSOR_ROWDATA)) return DB_E_BADACCESSORTYPE;
        Entry* e = EntryOf(hRow);
        if (!e) return DB_E_BADROWHANDLE;
        if (!pData && !acc->bindings.empty()) return E_INVALIDARG;
        if (IsDeleted(*e)) return DB_E_DELETEDROW;
        auto fault = a_.store->FaultFor(a_.table.get(), "getdata", RowId(*e));
        if (fault && FAILED(*fault)) return *fault;
        HRESULT hr = ReadRow(*e, Cells(*e), *acc, static_cast<BYTE*>(pData));
        if (fault && SUCCEEDED(hr)) hr = *fault;
        return hr;
    }

    STDMETHODIMP GetNextRows(HCHAPTER, DBROWOFFSET lRowsOffset, DBROWCOUNT cRows, DBCOUNTITEM* pcRowsObtained,
                             HROW** prghRows) override {
        HRESULT hr = NextRows(lRowsOffset, cRows, pcRowsObtained, prghRows);
        LogCall("GetNextRows " + std::to_string(lRowsOffset) + " " + std::to_string(cRows) + " -> " + HrText(hr) +
                " rows=" + std::to_string(pcRowsObtained ? *pcRowsObtained : 0));
        return hr;
    }

    STDMETHODIMP ReleaseRows(DBCOUNTITEM cRows, const HROW rghRows[], DBROWOPTIONS[], DBREFCOUNT rgRefCounts[],
                             DBROWSTATUS rgRowStatus[]) override {
        if (cRows && !rghRows) return E_INVALIDARG;
        size_t errors = 0;
        for (DBCOUNTITEM i = 0; i < cRows; ++i) {
            Entry* e = EntryOf(rghRows[i]);
            DBROWSTATUS st = DBROWSTATUS_S_OK;
            if (!e) {
                st = DBROWSTATUS_E_INVALID;
                ++errors;
            } else {
                --e->holds;
                --g_heldRows;
                if (e->pend != Entry::None) st = DBROWSTATUS_S_PENDINGCHANGES;
            }
            if (rgRefCounts) rgRefCounts[i] = e ? e->holds : 0;
            if (rgRowStatus) rgRowStatus[i] = st;
        }
        return Summarize(cRows, errors);
    }

    STDMETHODIMP RestartPosition(HCHAPTER) override {
        HRESULT hr = S_OK;
        auto fault = a_.store->FaultFor(a_.table.get(), "restartposition", 0);
        if (fault) hr = *fault;
        if (SUCCEEDED(hr)) {
            pos_ = 0;
            atStart_ = true;
        }
        LogCall("RestartPosition -> " + HrText(hr));
        return hr;
    }

    // IRowsetLocate
    STDMETHODIMP Compare(HCHAPTER, DBBKMARK cb1, const BYTE* p1, DBBKMARK cb2, const BYTE* p2,
                         DBCOMPARE* pComparison) override {
        if (!pComparison || !p1 || !p2 || !cb1 || !cb2) return E_INVALIDARG;
        if (cb1 == 1 || cb2 == 1) {
            if (cb1 == 1 && cb2 == 1 && *p1 == *p2 && *p1 != DBBMK_INVALID) *pComparison = DBCOMPARE_EQ;
            else *pComparison = DBCOMPARE_NE;
            return (cb1 == 1 && *p1 == DBBMK_INVALID) || (cb2 == 1 && *p2 == DBBMK_INVALID) ? DB_E_BADBOOKMARK : S_OK;
        }
        long b1 = 0, b2 = 0;
        if (cb1 != 4 || cb2 != 4) return DB_E_BADBOOKMARK;
        std::memcpy(&b1, p1, 4);
        std::memcpy(&b2, p2, 4);
        *pComparison = b1 < b2 ? DBCOMPARE_LT : (b1 > b2 ? DBCOMPARE_GT : DBCOMPARE_EQ);
        return S_OK;
    }

    STDMETHODIMP GetRowsAt(HWATCHREGION, HCHAPTER, DBBKMARK cbBookmark, const BYTE* pBookmark,
                           DBROWOFFSET lRowsOffset, DBROWCOUNT cRows, DBCOUNTITEM* pcRowsObtained,
                           HROW** prghRows) override {
        if (!pcRowsObtained || !prghRows || !pBookmark || !cbBookmark) return E_INVALIDARG;
        *pcRowsObtained = 0;
        if (cRows < 0 && !fetchBack_) return DB_E_CANTFETCHBACKWARDS;
        if (otherInsert_) SyncInserts();
        long start = 0;
        HRESULT hr = BookmarkIndex(cbBookmark, pBookmark, start);
        if (FAILED(hr)) return hr;
        // The gap right before the bookmarked row, then the offset in rows.
        long gap = start;
        if (!Skip(gap, lRowsOffset)) return DB_S_ENDOFROWSET;
        long savedPos = pos_;
        bool savedStart = atStart_;
        pos_ = gap;
        atStart_ = false;
        hr = Fetch(cRows, pcRowsObtained, prghRows);
        pos_ = savedPos;  // does not move the next fetch position
        atStart_ = savedStart;
        return hr;
    }

    STDMETHODIMP GetRowsByBookmark(HCHAPTER, DBCOUNTITEM cRows, const DBBKMARK rgcb[], const BYTE* rgp[],
                                   HROW rghRows[], DBROWSTATUS rgRowStatus[]) override {
        if (cRows && (!rgcb || !rgp || !rghRows)) return E_INVALIDARG;
        size_t errors = 0;
        for (DBCOUNTITEM i = 0; i < cRows; ++i) {
            long idx = -1;
            DBROWSTATUS st = DBROWSTATUS_S_OK;
            if (rgcb[i] != 4 || !rgp[i]) st = DBROWSTATUS_E_INVALID;
            else {
                long b = 0;
                std::memcpy(&b, rgp[i], 4);
                idx = b - 1;
                if (idx < 0 || idx >= static_cast<long>(rows_.size())) st = DBROWSTATUS_E_INVALID;
                else if (IsGone(rows_[idx])) st = DBROWSTATUS_E_DELETED;
            }
            if (st == DBROWSTATUS_S_OK) {
                ++rows_[idx].holds;
                ++g_heldRows;
                rghRows[i] = static_cast<HROW>(idx + 1);
            } else {
                rghRows[i] = DB_NULL_HROW;
                ++errors;
            }
            if (rgRowStatus) rgRowStatus[i] = st;
        }
        return Summarize(cRows, errors);
    }

    STDMETHODIMP Hash(HCHAPTER, DBBKMARK cBookmarks, const DBBKMARK rgcb[], const BYTE* rgp[],
                      DBHASHVALUE rgHashed[], DBROWSTATUS rgStatus[]) override {
        if (cBookmarks && (!rgcb || !rgp || !rgHashed)) return E_INVALIDARG;
        size_t errors = 0;
        for (DBBKMARK i = 0; i < cBookmarks; ++i) {
            DBROWSTATUS st = DBROWSTATUS_S_OK;
            if (rgcb[i] != 4 || !rgp[i]) { st = DBROWSTATUS_E_INVALID; ++errors; rgHashed[i] = 0; }
            else { long b = 0; std::memcpy(&b, rgp[i], 4); rgHashed[i] = static_cast<DBHASHVALUE>(b); }
            if (rgStatus) rgStatus[i] = st;
        }
        return Summarize(cBookmarks, errors);
    }

    // IAccessor
    STDMETHODIMP AddRefAccessor(HACCESSOR h, DBREFCOUNT* pc) override { return accessors_.AddRef(h, pc); }
    STDMETHODIMP CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM cBindings, const DBBINDING rgBindings[],
                                DBLENGTH cbRowSize, HACCESSOR* ph, DBBINDSTATUS rgStatus[]) override {
        if (flags & DBACCESSOR_PARAMETERDATA) return DB_E_BADACCESSORFLAGS;
        return accessors_.Create(flags, cBindings, rgBindings, cbRowSize, ph, rgStatus,
                                 [&](DBCOUNTITEM, const DBBINDING& b) -> DBBINDSTATUS {
                                     ColumnDef bm = BookmarkColumn();
                                     const ColumnDef* c = ColumnAt(b.iOrdinal, bm);
                                     if (!c) return DBBINDSTATUS_BADORDINAL;
                                     if (!tp::CanConvert(c->type, b.wType)) return DBBINDSTATUS_UNSUPPORTEDCONVERSION;
                                     if (b.wType == DBTYPE_IUNKNOWN && b.pObject &&
                                         !IsEqualIID(b.pObject->iid, IID_ISequentialStream) &&
                                         !IsEqualIID(b.pObject->iid, IID_IUnknown))
                                         return DBBINDSTATUS_NOINTERFACE;
                                     if (b.wType == DBTYPE_IUNKNOWN && b.pObject &&
                                         (b.pObject->dwFlags & ~(STGM_READ | STGM_SHARE_DENY_NONE | STGM_DIRECT)))
                                         return DBBINDSTATUS_BADSTORAGEFLAGS;
                                     return DBBINDSTATUS_OK;
                                 });
    }
    STDMETHODIMP GetBindings(HACCESSOR h, DBACCESSORFLAGS* f, DBCOUNTITEM* c, DBBINDING** b) override {
        return accessors_.GetBindings(h, f, c, b);
    }
    STDMETHODIMP ReleaseAccessor(HACCESSOR h, DBREFCOUNT* pc) override { return accessors_.Release(h, pc); }

    // IColumnsInfo
    STDMETHODIMP GetColumnInfo(DBORDINAL* pc, DBCOLUMNINFO** info, OLECHAR** strings) override {
        std::vector<const ColumnDef*> cols;
        for (int idx : a_.columns) cols.push_back(&a_.table->columns[idx]);
        return ColumnInfo(cols, bookmarks_, pc, info, strings);
    }
    STDMETHODIMP MapColumnIDs(DBORDINAL cIds, const DBID rgIds[], DBORDINAL rgColumns[]) override {
        if (cIds && (!rgIds || !rgColumns)) return E_INVALIDARG;
        size_t errors = 0;
        for (DBORDINAL i = 0; i < cIds; ++i) {
            rgColumns[i] = DB_INVALIDCOLUMN;
            const DBID& id = rgIds[i];
            if (id.eKind == DBKIND_NAME && id.uName.pwszName) {
                for (size_t k = 0; k < a_.columns.size(); ++k)
                    if (_wcsicmp(a_.table->columns[a_.columns[k]].name.c_str(), id.uName.pwszName) == 0)
                        rgColumns[i] = k + 1;
            } else if (bookmarks_ && id.eKind == DBKIND_GUID_PROPID && IsEqualGUID(id.uGuid.guid, kSpecialCol) &&
                       id.uName.ulPropid == 2) {
                rgColumns[i] = 0;
            }
            if (rgColumns[i] == DB_INVALIDCOLUMN) ++errors;
        }
        return Summarize(cIds, errors);
    }

    // IRowsetInfo
    STDMETHODIMP GetProperties(const ULONG cSets, const DBPROPIDSET rgSets[], ULONG* pcSets,
                               DBPROPSET** prgSets) override {
        RowsetProps eff = a_.props;
        eff.Set(DBPROP_IRowsetChange, change_ ? VARIANT_TRUE : VARIANT_FALSE);
        eff.Set(DBPROP_IRowsetUpdate, deferred_ ? VARIANT_TRUE : VARIANT_FALSE);
        eff.Normalize();
        return eff.GetProperties(cSets, rgSets, pcSets, prgSets);
    }
    STDMETHODIMP GetReferencedRowset(DBORDINAL iOrdinal, REFIID riid, IUnknown** pp) override {
        if (!pp) return E_INVALIDARG;
        *pp = nullptr;
        if (iOrdinal > a_.columns.size() || (iOrdinal == 0 && !bookmarks_)) return DB_E_BADORDINAL;
        if (iOrdinal != 0) return DB_E_NOTAREFERENCECOLUMN;
        return Controlling()->QueryInterface(riid, reinterpret_cast<void**>(pp));
    }
    STDMETHODIMP GetSpecification(REFIID riid, IUnknown** pp) override {
        if (!pp) return E_INVALIDARG;
        *pp = nullptr;
        if (!a_.creator) return S_FALSE;
        return a_.creator->QueryInterface(riid, reinterpret_cast<void**>(pp));
    }

    // IConvertType
    STDMETHODIMP CanConvert(DBTYPE from, DBTYPE to, DBCONVERTFLAGS flags) override {
        if (flags & DBCONVERTFLAGS_PARAMETER) return DB_E_BADCONVERTFLAG;
        return tp::CanConvert(from, to) ? S_OK : S_FALSE;
    }

    // IRowsetChange
    STDMETHODIMP DeleteRows(HCHAPTER, DBCOUNTITEM cRows, const HROW rghRows[], DBROWSTATUS rgRowStatus[]) override {
        if (cRows && !rghRows) return E_INVALIDARG;
        size_t errors = 0;
        HRESULT forced = S_OK;
        for (DBCOUNTITEM i = 0; i < cRows; ++i) {
            Entry* e = EntryOf(rghRows[i]);
            DBROWSTATUS st = DBROWSTATUS_S_OK;
            if (!e) st = DBROWSTATUS_E_INVALID;
            else if (IsDeleted(*e)) st = DBROWSTATUS_E_DELETED;
            else if (auto f = a_.store->FaultFor(a_.table.get(), "deleterows", RowId(*e))) {
                if (FAILED(*f)) st = DBROWSTATUS_E_FAIL;
                forced = *f;
            }
            if (st == DBROWSTATUS_S_OK) {
                if (!deferred_) {
                    RemoveFromTable(e->base);
                    e->gone = true;
                } else if (e->pend == Entry::Insert) {
                    e->pending.reset();
                    e->pend = Entry::None;
                    e->gone = true;
                } else {
                    e->pending.reset();
                    e->pend = Entry::Delete;
                }
            } else {
                ++errors;
            }
            if (rgRowStatus) rgRowStatus[i] = st;
        }
        HRESULT hr = Summarize(cRows, errors);
        if (FAILED(forced) && cRows == 1) hr = forced;
        else if (forced != S_OK && hr == S_OK) hr = forced;
        LogCall("DeleteRows " + std::to_string(cRows) + " -> " + HrText(hr));
        return hr;
    }

    STDMETHODIMP SetData(HROW hRow, HACCESSOR hAccessor, void* pData) override {
        HRESULT hr = SetDataImpl(hRow, hAccessor, static_cast<BYTE*>(pData));
        Entry* e = EntryOf(hRow);
        LogCall("SetData row=" + std::to_string(e ? RowId(*e) : 0) + " -> " + HrText(hr));
        return hr;
    }

    STDMETHODIMP InsertRow(HCHAPTER, HACCESSOR hAccessor, void* pData, HROW* phRow) override {
        int id = 0;
        HRESULT hr = InsertImpl(hAccessor, static_cast<BYTE*>(pData), phRow, id);
        LogCall("InsertRow -> " + HrText(hr) + " row=" + std::to_string(id));
        return hr;
    }

    // IRowsetUpdate
    STDMETHODIMP GetOriginalData(HROW hRow, HACCESSOR hAccessor, void* pData) override {
        Accessor* acc = accessors_.Find(hAccessor);
        if (!acc) return DB_E_BADACCESSORHANDLE;
        Entry* e = EntryOf(hRow);
        if (!e) return DB_E_BADROWHANDLE;
        if (e->base) return ReadRow(*e, e->base->cells, *acc, static_cast<BYTE*>(pData));
        std::vector<Cell> defaults;
        for (int idx = 0; idx < static_cast<int>(a_.table->columns.size()); ++idx)
            defaults.push_back(DefaultCell(a_.table->columns[idx]));
        return ReadRow(*e, defaults, *acc, static_cast<BYTE*>(pData));
    }

    STDMETHODIMP GetPendingRows(HCHAPTER, DBPENDINGSTATUS dwRowStatus, DBCOUNTITEM* pcPending, HROW** prgPending,
                                DBPENDINGSTATUS** prgStatus) override {
        if (pcPending) *pcPending = 0;
        if (prgPending) *prgPending = nullptr;
        if (prgStatus) *prgStatus = nullptr;
        std::vector<size_t> hits;
        for (size_t i = 0; i < rows_.size(); ++i)
            if (rows_[i].pend != Entry::None && (PendingStatus(rows_[i]) & dwRowStatus)) hits.push_back(i);
        if (pcPending) *pcPending = hits.size();
        if (hits.empty()) return S_FALSE;
        if (prgPending) {
            *prgPending = static_cast<HROW*>(CoTaskMemAlloc(sizeof(HROW) * hits.size()));
            if (!*prgPending) return E_OUTOFMEMORY;
            for (size_t k = 0; k < hits.size(); ++k) {
                (*prgPending)[k] = static_cast<HROW>(hits[k] + 1);
                ++rows_[hits[k]].holds;
                ++g_heldRows;
            }
        }
        if (prgStatus) {
            *prgStatus = static_cast<DBPENDINGSTATUS*>(CoTaskMemAlloc(sizeof(DBPENDINGSTATUS) * hits.size()));
            if (*prgStatus)
                for (size_t k = 0; k < hits.size(); ++k) (*prgStatus)[k] = PendingStatus(rows_[hits[k]]);
        }
        return S_OK;
    }

    STDMETHODIMP GetRowStatus(HCHAPTER, DBCOUNTITEM cRows, const HROW rghRows[],
                              DBPENDINGSTATUS rgPendingStatus[]) override {
        if (cRows && (!rghRows || !rgPendingStatus)) return E_INVALIDARG;
        size_t errors = 0;
        for (DBCOUNTITEM i = 0; i < cRows; ++i) {
            Entry* e = EntryOf(rghRows[i]);
            if (!e) { rgPendingStatus[i] = DBPENDINGSTATUS_INVALIDROW; ++errors; }
            else rgPendingStatus[i] = PendingStatus(*e);
        }
        return Summarize(cRows, errors);
    }

    STDMETHODIMP Undo(HCHAPTER, DBCOUNTITEM cRows, const HROW rghRows[], DBCOUNTITEM* pcUndone, HROW** prgUndone,
                      DBROWSTATUS** prgStatus) override {
        std::vector<HROW> targets;
        if (cRows) {
            if (!rghRows) return E_INVALIDARG;
            targets.assign(rghRows, rghRows + cRows);
        } else {
            for (size_t i = 0; i < rows_.size(); ++i)
                if (rows_[i].pend != Entry::None) targets.push_back(static_cast<HROW>(i + 1));
        }
        std::vector<DBROWSTATUS> status;
        size_t errors = 0;
        for (HROW h : targets) {
            Entry* e = EntryFor(h);
            if (!e) { status.push_back(DBROWSTATUS_E_INVALID); ++errors; continue; }
            if (e->pend == Entry::Insert) e->gone = true;
            e->pending.reset();
            e->pend = Entry::None;
            status.push_back(DBROWSTATUS_S_OK);
        }
        HandBack(targets, status, pcUndone, prgUndone, prgStatus);
        return Summarize(targets.size(), errors);
    }

    STDMETHODIMP Update(HCHAPTER, DBCOUNTITEM cRows, const HROW rghRows[], DBCOUNTITEM* pcRows, HROW** prgRows,
                        DBROWSTATUS** prgRowStatus) override {
        HRESULT hr = UpdateImpl(cRows, rghRows, pcRows, prgRows, prgRowStatus);
        LogCall("Update " + std::to_string(cRows) + " -> " + HrText(hr));
        return hr;
    }

    // IRowsetRefresh
    STDMETHODIMP RefreshVisibleData(HCHAPTER, DBCOUNTITEM cRows, const HROW rghRows[], BOOL, DBCOUNTITEM* pcRefreshed,
                                    HROW** prghRefreshed, DBROWSTATUS** prgStatus) override {
        if (cRows && !rghRows) return E_INVALIDARG;
        // Every fetch already reads the shared table, so nothing is stale.
        if (pcRefreshed) *pcRefreshed = 0;
        if (prghRefreshed) *prghRefreshed = nullptr;
        if (prgStatus) *prgStatus = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetLastVisibleData(HROW hRow, HACCESSOR hAccessor, void* pData) override {
        return GetData(hRow, hAccessor, pData);
    }

protected:
    void* Find(REFIID iid) override {
        if (IsEqualIID(iid, IID_IRowset)) return static_cast<IRowset*>(static_cast<IRowsetLocate*>(this));
        if (IsEqualIID(iid, IID_IRowsetLocate)) return bookmarks_ ? static_cast<IRowsetLocate*>(this) : nullptr;
        if (IsEqualIID(iid, IID_IAccessor)) return static_cast<IAccessor*>(this);
        if (IsEqualIID(iid, IID_IColumnsInfo)) return static_cast<IColumnsInfo*>(this);
        if (IsEqualIID(iid, IID_IRowsetInfo)) return static_cast<IRowsetInfo*>(this);
        if (IsEqualIID(iid, IID_IConvertType)) return static_cast<IConvertType*>(this);
        if (IsEqualIID(iid, IID_IRowsetChange))
            return change_ ? static_cast<IRowsetChange*>(static_cast<IRowsetUpdate*>(this)) : nullptr;
        if (IsEqualIID(iid, IID_IRowsetUpdate)) return deferred_ ? static_cast<IRowsetUpdate*>(this) : nullptr;
        if (IsEqualIID(iid, IID_IRowsetRefresh)) return static_cast<IRowsetRefresh*>(this);
        return nullptr;
    }

private:
    struct Entry {
        std::shared_ptr<Row> base;  // null for a pending insert
        std::unique_ptr<std::vector<Cell>> pending;
        enum Pend { None, Change, Insert, Delete } pend = None;
        bool gone = false;
        ULONG holds = 0;
    };

    void AddEntry(std::shared_ptr<Row> row) {
        Entry e;
        e.base = std::move(row);
        rows_.push_back(std::move(e));
    }

    void SyncInserts() {
        std::set<const Row*> known;
        for (const auto& e : rows_)
            if (e.base) known.insert(e.base.get());
        for (const auto& row : a_.table->rows)
            if (!known.count(row.get())) AddEntry(row);
    }

    Entry* EntryOf(HROW h) {
        Entry* e = EntryFor(h);
        return e && e->holds ? e : nullptr;
    }
    Entry* EntryFor(HROW h) {
        if (h == DB_NULL_HROW || h > rows_.size()) return nullptr;
        return &rows_[h - 1];
    }
    int RowId(const Entry& e) const { return e.base ? e.base->id : 0; }
    bool IsGone(const Entry& e) const { return e.gone || (e.base && e.base->deleted); }
    bool IsDeleted(const Entry& e) const { return IsGone(e) || e.pend == Entry::Delete; }
    // What fetching walks over: rows inserted and not yet sent are not returned
    // (DBPROP_RETURNPENDINGINSERTS is false), deleted ones only when the
    // consumer asked for them to be removed.
    bool Visible(size_t i) const {
        const Entry& e = rows_[i];
        if (e.pend == Entry::Insert || (e.gone && !e.base)) return false;
        return !(removeDeleted_ && IsGone(e));
    }
    const std::vector<Cell>& Cells(const Entry& e) const { return e.pending ? *e.pending : e.base->cells; }

    DBPENDINGSTATUS PendingStatus(const Entry& e) const {
        switch (e.pend) {
        case Entry::Change: return DBPENDINGSTATUS_CHANGED;
        case Entry::Insert: return DBPENDINGSTATUS_NEW;
        case Entry::Delete: return DBPENDINGSTATUS_DELETED;
        default: return IsGone(e) ? DBPENDINGSTATUS_INVALIDROW : DBPENDINGSTATUS_UNCHANGED;
        }
    }

    // The column a binding's ordinal names, or null.
    const ColumnDef* ColumnAt(DBORDINAL ordinal, const ColumnDef& bookmark) const {
        if (ordinal == 0) return bookmarks_ ? &bookmark : nullptr;
        if (ordinal > a_.columns.size()) return nullptr;
        return &a_.table->columns[a_.columns[ordinal - 1]];
    }

    HRESULT ReadRow(const Entry& e, const std::vector<Cell>& cells, const Accessor& acc, BYTE* data) {
        size_t errors = 0;
        ColumnDef bm = BookmarkColumn();
        for (const DBBINDING& b : acc.bindings) {
            const ColumnDef* col = ColumnAt(b.iOrdinal, bm);
            if (!col) { ++errors; continue; }
            DBSTATUS st;
            if (b.iOrdinal == 0) {
                Cell mark;
                mark.state = CellState::Value;
                long value = static_cast<long>(&e - rows_.data()) + 1;
                mark.raw.assign(reinterpret_cast<const char*>(&value), sizeof value);
                st = ReadBinding(*col, mark, b, data);
            } else {
                const Cell& cell = cells[a_.columns[b.iOrdinal - 1]];
                st = ReadBinding(*col, cell, b, data);
                // Without a status part a NULL cannot be told to the consumer.
                if (st == DBSTATUS_S_ISNULL && !(b.dwPart & DBPART_STATUS)) st = DBSTATUS_E_UNAVAILABLE;
            }
            if (IsErrorStatus(st)) ++errors;
        }
        return Summarize(acc.bindings.size(), errors);
    }

    // Applies the bindings of a write to `cells`; returns the summary HRESULT
    // and whether anything could be applied.
    HRESULT WriteRow(const Accessor& acc, BYTE* data, std::vector<Cell>& cells, size_t& applied) {
        size_t errors = 0, counted = 0;
        applied = 0;
        for (const DBBINDING& b : acc.bindings) {
            // The bookmark column is read-only by nature; consumers that bind
            // every column send it back with each write.
            if (b.iOrdinal == 0) continue;
            const ColumnDef& col = a_.table->columns[a_.columns[b.iOrdinal - 1]];
            bool ignored = false;
            Cell& cell = cells[a_.columns[b.iOrdinal - 1]];
            Cell next = cell;
            DBSTATUS st = WriteBinding(col, b, data, next, ignored);
            if (ignored) continue;
            ++counted;
            if (IsErrorStatus(st)) {
                ++errors;
            } else {
                cell = std::move(next);
                ++applied;
            }
            if (b.dwPart & DBPART_STATUS) std::memcpy(data + b.obStatus, &st, sizeof st);
        }
        return Summarize(counted, errors);
    }

    HRESULT SetDataImpl(HROW hRow, HACCESSOR hAccessor, BYTE* data) {
        Accessor* acc = accessors_.Find(hAccessor);
        if (!acc) return DB_E_BADACCESSORHANDLE;
        if (!(acc->flags & DBACCESSOR_ROWDATA)) return DB_E_BADACCESSORTYPE;
        Entry* e = EntryOf(hRow);
        if (!e) return DB_E_BADROWHANDLE;
        if (!data && !acc->bindings.empty()) return E_INVALIDARG;
        if (IsDeleted(*e)) return DB_E_DELETEDROW;
        auto fault = a_.store->FaultFor(a_.table.get(), "setdata", RowId(*e));
        if (fault && FAILED(*fault)) return *fault;
        std::vector<Cell> cells = Cells(*e);
        size_t applied = 0;
        HRESULT hr = WriteRow(*acc, data, cells, applied);
        if (applied) {
            if (!deferred_) {
                e->base->cells = std::move(cells);
            } else {
                e->pending = std::make_unique<std::vector<Cell>>(std::move(cells));
                if (e->pend == Entry::None) e->pend = Entry::Change;
            }
        }
        if (fault && SUCCEEDED(hr)) hr = *fault;
        return hr;
    }

    HRESULT InsertImpl(HACCESSOR hAccessor, BYTE* data, HROW* phRow, int& id) {
        if (phRow) *phRow = DB_NULL_HROW;
        Accessor* acc = accessors_.Find(hAccessor);
        if (!acc) return DB_E_BADACCESSORHANDLE;
        if (!(acc->flags & DBACCESSOR_ROWDATA)) return DB_E_BADACCESSORTYPE;
        if (!data && !acc->bindings.empty()) return E_INVALIDARG;
        auto fault = a_.store->FaultFor(a_.table.get(), "insertrow", 0);
        if (fault && FAILED(*fault)) return *fault;
        std::vector<Cell> cells;
        for (const auto& col : a_.table->columns) cells.push_back(DefaultCell(col));
        size_t applied = 0;
        HRESULT hr = WriteRow(*acc, data, cells, applied);
        if (hr != S_OK) return DB_E_ERRORSOCCURRED;  // a row is inserted whole or not at all
        Entry e;
        if (!deferred_) {
            auto row = std::make_shared<Row>();
            row->id = a_.table->nextId++;
            row->cells = std::move(cells);
            a_.table->rows.push_back(row);
            id = row->id;
            e.base = row;
        } else {
            e.pend = Entry::Insert;
            e.pending = std::make_unique<std::vector<Cell>>(std::move(cells));
        }
        rows_.push_back(std::move(e));
        if (phRow) {
            rows_.back().holds = 1;
            ++g_heldRows;
            *phRow = static_cast<HROW>(rows_.size());
        }
        return fault ? *fault : S_OK;
    }

    void RemoveFromTable(const std::shared_ptr<Row>& row) {
        if (!row) return;
        row->deleted = true;
        auto& v = a_.table->rows;
        v.erase(std::remove(v.begin(), v.end(), row), v.end());
    }

    void HandBack(const std::vector<HROW>& rows, const std::vector<DBROWSTATUS>& status, DBCOUNTITEM* pc,
                  HROW** prg, DBROWSTATUS** prgStatus) {
        if (pc) *pc = rows.size();
        if (prg) {
            *prg = nullptr;
            if (!rows.empty()) {
                *prg = static_cast<HROW*>(CoTaskMemAlloc(sizeof(HROW) * rows.size()));
                for (size_t k = 0; *prg && k < rows.size(); ++k) {
                    (*prg)[k] = rows[k];
                    if (Entry* e = EntryFor(rows[k]); e && status[k] == DBROWSTATUS_S_OK) {
                        ++e->holds;
                        ++g_heldRows;
                    }
                }
            }
        }
        if (prgStatus) {
            *prgStatus = nullptr;
            if (!rows.empty()) {
                *prgStatus = static_cast<DBROWSTATUS*>(CoTaskMemAlloc(sizeof(DBROWSTATUS) * rows.size()));
                if (*prgStatus) std::copy(status.begin(), status.end(), *prgStatus);
            }
        }
    }

    HRESULT UpdateImpl(DBCOUNTITEM cRows, const HROW rghRows[], DBCOUNTITEM* pcRows, HROW** prgRows,
                       DBROWSTATUS** prgRowStatus) {
        if (pcRows) *pcRows = 0;
        if (prgRows) *prgRows = nullptr;
        if (prgRowStatus) *prgRowStatus = nullptr;
        std::vector<HROW> targets;
        if (cRows) {
            if (!rghRows) return E_INVALIDARG;
            targets.assign(rghRows, rghRows + cRows);
        } else {
            for (size_t i = 0; i < rows_.size(); ++i)
                if (rows_[i].pend != Entry::None) targets.push_back(static_cast<HROW>(i + 1));
        }
        std::vector<DBROWSTATUS> status;
        size_t errors = 0;
        HRESULT forced = S_OK;
        for (HROW h : targets) {
            Entry* e = EntryFor(h);
            if (!e || (IsGone(*e) && e->pend == Entry::None)) {
                status.push_back(e ? DBROWSTATUS_E_DELETED : DBROWSTATUS_E_INVALID);
                ++errors;
                continue;
            }
            if (auto f = a_.store->FaultFor(a_.table.get(), "update", RowId(*e))) {
                forced = *f;
                if (FAILED(*f)) {
                    status.push_back(DBROWSTATUS_E_FAIL);
                    ++errors;
                    continue;
                }
            }
            switch (e->pend) {
            case Entry::Change: e->base->cells = std::move(*e->pending); break;
            case Entry::Insert: {
                auto row = std::make_shared<Row>();
                row->id = a_.table->nextId++;
                row->cells = std::move(*e->pending);
                a_.table->rows.push_back(row);
                e->base = row;
                break;
            }
            case Entry::Delete:
                RemoveFromTable(e->base);
                e->gone = true;
                break;
            default: break;
            }
            e->pending.reset();
            e->pend = Entry::None;
            status.push_back(DBROWSTATUS_S_OK);
        }
        HandBack(targets, status, pcRows, prgRows, prgRowStatus);
        HRESULT hr = Summarize(targets.size(), errors);
        if (FAILED(forced) && targets.size() == 1) hr = forced;
        else if (forced != S_OK && hr == S_OK) hr = forced;
        return hr;
    }

    HRESULT BookmarkIndex(DBBKMARK cb, const BYTE* p, long& index) {
        if (cb == 1) {
            if (*p == DBBMK_FIRST) {
                index = 0;
                return S_OK;
            }
            if (*p == DBBMK_LAST) {
                index = static_cast<long>(rows_.size());
                while (index > 0 && !Visible(index - 1)) --index;
                --index;
                if (index < 0) index = 0;
                return S_OK;
            }
            return DB_E_BADBOOKMARK;
        }
        if (cb != 4) return DB_E_BADBOOKMARK;
        long b = 0;
        std::memcpy(&b, p, 4);
        if (b < 1 || b > static_cast<long>(rows_.size())) return DB_E_BADBOOKMARK;
        index = b - 1;
        return S_OK;
    }

    // Moves a gap position over `offset` visible rows; false when the rows
    // run out (the gap then rests at that end).
    bool Skip(long& gap, DBROWOFFSET offset) {
        long n = static_cast<long>(rows_.size());
        for (; offset > 0; --offset) {
            long i = gap;
            while (i < n && !Visible(i)) ++i;
            if (i >= n) { gap = n; return false; }
            gap = i + 1;
        }
        for (; offset < 0; ++offset) {
            long i = gap - 1;
            while (i >= 0 && !Visible(i)) --i;
            if (i < 0) { gap = 0; return false; }
            gap = i;
        }
        return true;
    }

    // Fetches from the gap pos_ in the direction of cRows.
    HRESULT Fetch(DBROWCOUNT cRows, DBCOUNTITEM* pcObtained, HROW** prgh) {
        long n = static_cast<long>(rows_.size());
        std::vector<HROW> got;
        long want = cRows < 0 ? -cRows : cRows;
        while (static_cast<long>(got.size()) < want) {
            long i;
            if (cRows > 0) {
                i = pos_;
                while (i < n && !Visible(i)) ++i;
                if (i >= n) { pos_ = n; break; }
                pos_ = i + 1;
            } else {
                i = pos_ - 1;
                while (i >= 0 && !Visible(i)) --i;
                if (i < 0) { pos_ = 0; break; }
                pos_ = i;
            }
            got.push_back(static_cast<HROW>(i + 1));
        }
        if (!got.empty()) {
            HROW* out = *prgh;
            if (!out) {
                out = static_cast<HROW*>(CoTaskMemAlloc(sizeof(HROW) * got.size()));
                if (!out) return E_OUTOFMEMORY;
                *prgh = out;
            }
            for (size_t k = 0; k < got.size(); ++k) {
                out[k] = got[k];
                ++rows_[got[k] - 1].holds;
                ++g_heldRows;
            }
        }
        *pcObtained = got.size();
        return static_cast<long>(got.size()) < want ? DB_S_ENDOFROWSET : S_OK;
    }

    HRESULT NextRows(DBROWOFFSET offset, DBROWCOUNT cRows, DBCOUNTITEM* pcObtained, HROW** prgh) {
        if (!pcObtained || !prgh) return E_INVALIDARG;
        *pcObtained = 0;
        auto fault = a_.store->FaultFor(a_.table.get(), "getnextrows", 0);
        if (fault && FAILED(*fault)) return *fault;
        if (offset < 0 && !scrollBack_) return DB_E_CANTSCROLLBACKWARDS;
        if (cRows < 0 && !fetchBack_) return DB_E_CANTFETCHBACKWARDS;
        if (otherInsert_) SyncInserts();
        if (cRows == 0) return S_OK;
        // Right after creation or RestartPosition a backward move starts at the end.
        if (atStart_ && (offset < 0 || cRows < 0)) pos_ = static_cast<long>(rows_.size());
        atStart_ = false;
        long gap = pos_;
        if (!Skip(gap, offset)) {
            pos_ = gap;
            return DB_S_ENDOFROWSET;
        }
        pos_ = gap;
        HRESULT hr = Fetch(cRows, pcObtained, prgh);
        if (fault && hr == S_OK) hr = *fault;
        return hr;
    }

    RowsetArgs a_;
    AccessorTable accessors_;
    std::vector<Entry> rows_;
    long pos_ = 0;         // the gap before rows_[pos_]
    bool atStart_ = true;  // no fetch since creation or RestartPosition
    bool bookmarks_ = false, change_ = false, deferred_ = false;
    bool scrollBack_ = false, fetchBack_ = false, removeDeleted_ = false, otherInsert_ = false;
};

} // namespace

HRESULT CreateRowset(RowsetArgs args, IUnknown* outer, REFIID iid, void** ppv) {
    return HandOut(new Rowset(std::move(args), outer), outer, iid, ppv);
}

} // namespace tp
