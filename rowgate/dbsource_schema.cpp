// The table and field name lists. They come from schema row sets with their
// own small bindings, apart from the caller's row set and its buffer.
#include "dbsource.h"

#include <oleauto.h>

#include <cstring>

#include "com_take.h"
#include "oledb_guids.h"
#include "win/strings.h"

namespace rowgate {
namespace {

constexpr size_t kSchemaNameBytes = 129;

struct SchemaColumn {
    DBORDINAL ordinal;
    DBTYPE type;
    size_t size;
};

// Reads one name column out of a schema row set: binds the listed columns as
// the schema defines them, walks the rows and collects the chosen column.
int CollectSchemaNames(IOpenRowset* session, REFGUID schema, VARIANT* restrictions,
                       const std::vector<SchemaColumn>& cols, DBORDINAL nameOrdinal, std::vector<std::string>& out) {
    win::ComPtr<IDBSchemaRowset> schemaRowset;
    if (FAILED(session->QueryInterface(IID_IDBSchemaRowset, schemaRowset.put_void()))) return 0;
    win::ComPtr<IUnknown> unk;
    if (FAILED(schemaRowset->GetRowset(nullptr, schema, 4, restrictions, IID_IRowset, 0, nullptr, unk.put())) || !unk)
        return 0;
    win::ComPtr<IRowset> rowset = TakeAs<IRowset>(unk);

    std::vector<DBBINDING> bindings(cols.size());
    size_t rowBytes = 0;
    ColumnPlace name;
    for (size_t i = 0; i < cols.size(); ++i) {
        DBBINDING& b = bindings[i];
        std::memset(&b, 0, sizeof b);
        const ColumnPlace place = PlaceColumn(rowBytes, cols[i].size);
        b.iOrdinal = cols[i].ordinal;
        b.obValue = place.value;
        b.obLength = place.length;
        b.obStatus = place.status;
        b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
        b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        b.eParamIO = DBPARAMIO_NOTPARAM;
        b.cbMaxLen = cols[i].size;
        b.wType = cols[i].type;
        if (cols[i].ordinal == nameOrdinal) name = place;
    }
    Accessor accessor;
    if (FAILED(accessor.Create(rowset.get(), bindings, rowBytes))) return 0;

    std::vector<unsigned char> row(rowBytes, 0);
    for (;;) {
        HROW hrow = 0;
        HROW* rows = &hrow;
        DBCOUNTITEM got = 0;
        if (rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &rows) != S_OK || got == 0) {
            if (got) rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
            break;
        }
        std::fill(row.begin(), row.end(), 0);
        const HRESULT hr = rowset->GetData(hrow, accessor.Get(), row.data());
        rowset->ReleaseRows(1, &hrow, nullptr, nullptr, nullptr);
        if (FAILED(hr)) continue;
        const char* text = reinterpret_cast<const char*>(row.data() + name.value);
        DBSTATUS status;
        std::memcpy(&status, row.data() + name.status, sizeof status);
        if (status == DBSTATUS_S_OK || status == DBSTATUS_S_TRUNCATED)
            out.emplace_back(text, strnlen(text, kSchemaNameBytes - 1));
        else
            out.emplace_back();
    }
    return static_cast<int>(out.size());
}

// Schema restrictions with one text restriction at `index`: the array only
// borrows the BSTR, which its owner frees on every path.
struct Restrictions {
    VARIANT items[4];
    win::UniqueBstr text;

    Restrictions(size_t index, win::UniqueBstr value) : text(std::move(value)) {
        for (VARIANT& v : items) VariantInit(&v);
        if (text) {
            items[index].vt = VT_BSTR;
            items[index].bstrVal = text.get();
        }
    }
};

} // namespace

int DBSource::ListTables() {
    tableNames_.clear();
    if (!session_) return 0;
    Restrictions r(3, win::UniqueBstr(SysAllocString(L"TABLE")));
    const std::vector<SchemaColumn> cols = {
        {1, DBTYPE_STR, kSchemaNameBytes}, {2, DBTYPE_STR, kSchemaNameBytes}, {3, DBTYPE_STR, kSchemaNameBytes},
        {4, DBTYPE_STR, kSchemaNameBytes}, {5, DBTYPE_GUID, sizeof(GUID)},   {6, DBTYPE_STR, kSchemaNameBytes}};
    int n = 0;
    if (r.text) n = CollectSchemaNames(session_.get(), guid::kSchemaTables, r.items, cols, 3, tableNames_);
    if (n == 0) tableNames_.clear();
    return n;
}

bool DBSource::TableName(int index, std::string& out) const {
    if (index < 0 || static_cast<size_t>(index) >= tableNames_.size()) return false;
    out = tableNames_[static_cast<size_t>(index)];
    return true;
}

int DBSource::ListFields(const char* table) {
    fieldNames_.clear();
    if (!session_) return 0;
    win::UniqueBstr name;
    if (table) {
        name.reset(SysAllocString(win::FromAnsi(table).c_str()));
        if (!name) return 0;
    }
    Restrictions r(2, std::move(name));
    const std::vector<SchemaColumn> cols = {{1, DBTYPE_STR, kSchemaNameBytes},
                                            {2, DBTYPE_STR, kSchemaNameBytes},
                                            {3, DBTYPE_STR, kSchemaNameBytes},
                                            {4, DBTYPE_STR, kSchemaNameBytes}};
    const int n = CollectSchemaNames(session_.get(), guid::kSchemaColumns, r.items, cols, 4, fieldNames_);
    if (n == 0) fieldNames_.clear();
    return n;
}

bool DBSource::FieldName(int index, std::string& out) const {
    if (index < 0 || static_cast<size_t>(index) >= fieldNames_.size()) return false;
    out = fieldNames_[static_cast<size_t>(index)];
    return true;
}

} // namespace rowgate
