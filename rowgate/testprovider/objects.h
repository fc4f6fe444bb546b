// Creation of the provider's COM objects.
#pragma once
#include <windows.h>
#include <oledb.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common.h"
#include "datafile.h"
#include "props.h"

namespace tp {

struct RowsetArgs {
    std::shared_ptr<Store> store;
    std::shared_ptr<Table> table;
    std::vector<int> columns;  // table column index per rowset column 1..n
    RowsetProps props;         // normalized
    IUnknown* creator = nullptr;  // the command or session that made the rowset; held
    bool readOnly = false;     // schema rowsets
    // IRowsetChange is offered (immediate mode unless DBPROP_IRowsetUpdate)
    // unless the consumer switched it off or the data file takes it away.
    bool allowChange = false;
};

HRESULT CreateDataSource(IUnknown* outer, REFIID iid, void** ppv);
HRESULT CreateRowset(RowsetArgs args, IUnknown* outer, REFIID iid, void** ppv);
HRESULT CreateCommand(IUnknown* session, std::shared_ptr<Store> store, IUnknown* outer, REFIID iid, void** ppv);

// Builds the rowset of a schema for the session.
HRESULT OpenSchemaRowset(const Store& store, REFGUID schema, ULONG cRestrictions, const VARIANT* restrictions,
                         IUnknown* session, IUnknown* outer, REFIID iid, ULONG cSets, DBPROPSET* sets,
                         IUnknown** rowset);

// Column metadata for IColumnsInfo (the caller frees with CoTaskMemFree).
HRESULT ColumnInfo(const std::vector<const ColumnDef*>& cols, bool bookmark, DBORDINAL* pcColumns,
                   DBCOLUMNINFO** prgInfo, OLECHAR** ppStrings);
ColumnDef BookmarkColumn();

// Accessors shared by commands (parameter accessors) and rowsets.
struct Accessor {
    DBACCESSORFLAGS flags = 0;
    std::vector<DBBINDING> bindings;
    std::vector<DBOBJECT> objects;  // copies of pObject, pointed to by bindings
    ULONG refs = 1;
};

class AccessorTable {
public:
    ~AccessorTable();
    // validate(i, binding) returns DBBINDSTATUS_OK or an error for binding i.
    template <typename Validate>
    HRESULT Create(DBACCESSORFLAGS flags, DBCOUNTITEM cBindings, const DBBINDING* bindings, DBLENGTH cbRowSize,
                   HACCESSOR* ph, DBBINDSTATUS* statuses, Validate validate);
    HRESULT AddRef(HACCESSOR h, DBREFCOUNT* refs);
    HRESULT Release(HACCESSOR h, DBREFCOUNT* refs);
    HRESULT GetBindings(HACCESSOR h, DBACCESSORFLAGS* flags, DBCOUNTITEM* c, DBBINDING** b);
    Accessor* Find(HACCESSOR h);

private:
    // Handles are unique in the process, so an accessor of another object is
    // recognised as a bad handle rather than taken for one of ours.
    std::map<HACCESSOR, std::unique_ptr<Accessor>> slots_;
};

HACCESSOR NextAccessorHandle();

template <typename Validate>
HRESULT AccessorTable::Create(DBACCESSORFLAGS flags, DBCOUNTITEM cBindings, const DBBINDING* bindings,
                              DBLENGTH cbRowSize, HACCESSOR* ph, DBBINDSTATUS* statuses, Validate validate) {
    (void)cbRowSize;
    if (!ph) return E_INVALIDARG;
    *ph = DB_NULL_HACCESSOR;
    if (cBindings && !bindings) return E_INVALIDARG;
    const DBACCESSORFLAGS known = DBACCESSOR_PASSBYREF | DBACCESSOR_ROWDATA | DBACCESSOR_PARAMETERDATA |
                                  DBACCESSOR_OPTIMIZED;
    if ((flags & ~known) || !(flags & (DBACCESSOR_ROWDATA | DBACCESSOR_PARAMETERDATA))) return DB_E_BADACCESSORFLAGS;
    if (flags & DBACCESSOR_PASSBYREF) return DB_E_BYREFACCESSORNOTSUPPORTED;
    if (cBindings == 0 && (flags & DBACCESSOR_PARAMETERDATA)) return DB_E_NULLACCESSORNOTSUPPORTED;
    bool bad = false;
    for (DBCOUNTITEM i = 0; i < cBindings; ++i) {
        DBBINDSTATUS st = DBBINDSTATUS_OK;
        const DBBINDING& b = bindings[i];
        if (!(b.dwPart & (DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS)) ||
            (b.dwPart & ~(DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS)))
            st = DBBINDSTATUS_BADBINDINFO;
        else if (b.dwMemOwner != DBMEMOWNER_CLIENTOWNED && b.dwMemOwner != DBMEMOWNER_PROVIDEROWNED)
            st = DBBINDSTATUS_BADBINDINFO;
        else if (b.dwMemOwner == DBMEMOWNER_PROVIDEROWNED)  // only meaningful for by-reference types, which are not served
            st = DBBINDSTATUS_BADBINDINFO;
        else
            st = validate(i, b);
        if (statuses) statuses[i] = st;
        bad = bad || st != DBBINDSTATUS_OK;
    }
    if (bad) return DB_E_ERRORSOCCURRED;
    auto acc = std::make_unique<Accessor>();
    acc->flags = flags;
    acc->bindings.assign(bindings, bindings + cBindings);
    acc->objects.resize(cBindings);
    for (DBCOUNTITEM i = 0; i < cBindings; ++i) {
        if (bindings[i].pObject) {
            acc->objects[i] = *bindings[i].pObject;
            acc->bindings[i].pObject = &acc->objects[i];
        }
        acc->bindings[i].pTypeInfo = nullptr;
        acc->bindings[i].pBindExt = nullptr;
    }
    *ph = NextAccessorHandle();
    slots_[*ph] = std::move(acc);
    ++g_liveAccessors;
    return S_OK;
}

} // namespace tp
