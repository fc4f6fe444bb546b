// Data source, session and command objects, and the schema rowsets.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <mutex>

#include "common.h"
#include "convert.h"
#include "objects.h"
#include "state.h"

namespace tp {

HRESULT HandOut(ObjectBase* obj, IUnknown* outer, REFIID iid, void** ppv) {
    if (outer) {
        *ppv = obj->Inner();
        return S_OK;
    }
    HRESULT hr = obj->Inner()->QueryInterface(iid, ppv);
    obj->Inner()->Release();
    return hr;
}

namespace {

bool Same(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// ---- opening a table -----------------------------------------------------

// Turns validated properties into a rowset over `table`, honouring the data
// file's switches.  `applied` is the result of applying the properties.
HRESULT OpenTable(const std::shared_ptr<Store>& store, const std::shared_ptr<Table>& table, std::vector<int> columns,
                  RowsetProps props, HRESULT applied, IUnknown* creator, IUnknown* outer, REFIID iid,
                  IUnknown** ppRowset) {
    props.Normalize();
    HRESULT warn = applied == DB_S_ERRORSOCCURRED ? DB_S_ERRORSOCCURRED : S_OK;
    bool noChange = store->noRowsetChange || table->noRowsetChange;
    bool asked = props.On(DBPROP_IRowsetChange) || props.On(DBPROP_IRowsetUpdate);
    if (noChange && asked) {
        bool required = (props.WasSet(DBPROP_IRowsetChange) && props.Required(DBPROP_IRowsetChange)) ||
                        (props.WasSet(DBPROP_IRowsetUpdate) && props.Required(DBPROP_IRowsetUpdate));
        if (required) return DB_E_ERRORSOCCURRED;
        props.Set(DBPROP_IRowsetChange, VARIANT_FALSE);
        props.Set(DBPROP_IRowsetUpdate, VARIANT_FALSE);
        props.Normalize();
        warn = DB_S_ERRORSOCCURRED;
    }
    bool switchedOff = props.WasSet(DBPROP_IRowsetChange) && !props.On(DBPROP_IRowsetChange);
    auto fault = store->FaultFor(table.get(), "execute", 0);
    if (fault && FAILED(*fault)) return *fault;
    if (!ppRowset || IsEqualIID(iid, IID_NULL)) return fault ? *fault : warn;
    RowsetArgs args;
    args.store = store;
    args.table = table;
    args.columns = std::move(columns);
    args.props = props;
    args.creator = creator;
    args.allowChange = !noChange && !switchedOff;
    HRESULT hr = CreateRowset(std::move(args), outer, iid, reinterpret_cast<void**>(ppRowset));
    if (FAILED(hr)) return hr;
    return fault ? *fault : warn;
}

std::vector<int> AllColumns(const Table& t) {
    std::vector<int> v;
    for (size_t i = 0; i < t.columns.size(); ++i) v.push_back(static_cast<int>(i));
    return v;
}

std::wstring Trim(const std::wstring& s) {
    size_t a = s.find_first_not_of(L" \t\r\n");
    if (a == std::wstring::npos) return L"";
    size_t b = s.find_last_not_of(L" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::wstring Unquote(const std::wstring& s) {
    if (s.size() >= 2 && ((s.front() == L'[' && s.back() == L']') || (s.front() == L'"' && s.back() == L'"')))
        return s.substr(1, s.size() - 2);
    return s;
}

// SELECT * | <col>[, <col>...] FROM <table>
HRESULT ParseSelect(const Store& store, const std::wstring& text, std::shared_ptr<Table>& table,
                    std::vector<int>& columns) {
    std::wstring t = Trim(text);
    while (!t.empty() && t.back() == L';') t = Trim(t.substr(0, t.size() - 1));
    std::wstring upper = t;
    for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
    if (upper.size() < 7 || upper.compare(0, 6, L"SELECT") != 0 || !iswspace(upper[6])) return DB_E_ERRORSINCOMMAND;
    size_t from = std::wstring::npos;
    for (size_t i = 6; i + 6 <= upper.size(); ++i)
        if (iswspace(upper[i]) && upper.compare(i + 1, 4, L"FROM") == 0 && i + 5 < upper.size() &&
            iswspace(upper[i + 5]))
            from = i;
    if (from == std::wstring::npos) return DB_E_ERRORSINCOMMAND;
    std::wstring list = Trim(t.substr(6, from - 6));
    std::wstring name = Unquote(Trim(t.substr(from + 5)));
    if (name.empty() || name.find_first_of(L" \t,") != std::wstring::npos) return DB_E_ERRORSINCOMMAND;
    table = store.Find(name);
    if (!table) return DB_E_NOTABLE;
    columns.clear();
    if (list == L"*") {
        columns = AllColumns(*table);
        return S_OK;
    }
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(L',', start);
        std::wstring item = Unquote(Trim(list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start)));
        int found = -1;
        for (size_t i = 0; i < table->columns.size(); ++i)
            if (Same(table->columns[i].name, item)) found = static_cast<int>(i);
        if (found < 0) return DB_E_ERRORSINCOMMAND;
        columns.push_back(found);
        if (comma == std::wstring::npos) break;
        start = comma + 1;
    }
    return S_OK;
}

// ---- schema rowsets ------------------------------------------------------

Cell TextCell(const std::wstring& s) {
    Cell c;
    c.state = CellState::Value;
    c.raw.assign(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(wchar_t));
    return c;
}
template <typename T>
Cell PodCell(T v) {
    Cell c;
    c.state = CellState::Value;
    c.raw.assign(reinterpret_cast<const char*>(&v), sizeof v);
    return c;
}
Cell NullCell() { return Cell{}; }

ColumnDef SchemaCol(const wchar_t* name, DBTYPE type, DBLENGTH size = 0) {
    ColumnDef c;
    c.name = name;
    c.type = type;
    c.size = size ? size : FixedSize(type);
    c.nullable = true;
    c.readonly = true;
    c.flags = DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL |
              (type == DBTYPE_WSTR ? 0 : DBCOLUMNFLAGS_ISFIXEDLENGTH);
    return c;
}

bool Restricted(ULONG cRestrictions, const VARIANT* r, ULONG index, std::wstring& value) {
    if (index >= cRestrictions || r[index].vt == VT_EMPTY) return false;
    value = r[index].bstrVal ? r[index].bstrVal : L"";
    return true;
}

std::shared_ptr<Table> TablesSchema(const Store& store, ULONG cR, const VARIANT* r) {
    auto t = std::make_shared<Table>();
    t->name = L"TABLES";
    t->columns = {SchemaCol(L"TABLE_CATALOG", DBTYPE_WSTR, 128), SchemaCol(L"TABLE_SCHEMA", DBTYPE_WSTR, 128),
                  SchemaCol(L"TABLE_NAME", DBTYPE_WSTR, 128),    SchemaCol(L"TABLE_TYPE", DBTYPE_WSTR, 128),
                  SchemaCol(L"TABLE_GUID", DBTYPE_GUID),         SchemaCol(L"DESCRIPTION", DBTYPE_WSTR, 255),
                  SchemaCol(L"TABLE_PROPID", DBTYPE_UI4),        SchemaCol(L"DATE_CREATED", DBTYPE_DATE),
                  SchemaCol(L"DATE_MODIFIED", DBTYPE_DATE)};
    std::vector<std::shared_ptr<Table>> list = store.tables;
    std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
        if (a->type != b->type) return a->type < b->type;
        return _wcsicmp(a->name.c_str(), b->name.c_str()) < 0;
    });
    std::wstring name, type;
    bool byName = Restricted(cR, r, 2, name), byType = Restricted(cR, r, 3, type);
    for (const auto& tab : list) {
        if (byName && !Same(tab->name, name)) continue;
        if (byType && !Same(tab->type, type)) continue;
        auto row = std::make_shared<Row>();
        row->id = t->nextId++;
        row->cells = {NullCell(), NullCell(), TextCell(tab->name), TextCell(tab->type), NullCell(),
                      NullCell(), NullCell(), NullCell(), NullCell()};
        t->rows.push_back(row);
    }
    return t;
}

std::shared_ptr<Table> ColumnsSchema(const Store& store, ULONG cR, const VARIANT* r) {
    auto t = std::make_shared<Table>();
    t->name = L"COLUMNS";
    const wchar_t* texts[] = {L"CHARACTER_SET_CATALOG", L"CHARACTER_SET_SCHEMA", L"CHARACTER_SET_NAME",
                              L"COLLATION_CATALOG",     L"COLLATION_SCHEMA",     L"COLLATION_NAME",
                              L"DOMAIN_CATALOG",        L"DOMAIN_SCHEMA",        L"DOMAIN_NAME"};
    t->columns = {SchemaCol(L"TABLE_CATALOG", DBTYPE_WSTR, 128),
                  SchemaCol(L"TABLE_SCHEMA", DBTYPE_WSTR, 128),
                  SchemaCol(L"TABLE_NAME", DBTYPE_WSTR, 128),
                  SchemaCol(L"COLUMN_NAME", DBTYPE_WSTR, 128),
                  SchemaCol(L"COLUMN_GUID", DBTYPE_GUID),
                  SchemaCol(L"COLUMN_PROPID", DBTYPE_UI4),
                  SchemaCol(L"ORDINAL_POSITION", DBTYPE_UI4),
                  SchemaCol(L"COLUMN_HASDEFAULT", DBTYPE_BOOL),
                  SchemaCol(L"COLUMN_DEFAULT", DBTYPE_WSTR, 128),
                  SchemaCol(L"COLUMN_FLAGS", DBTYPE_UI4),
                  SchemaCol(L"IS_NULLABLE", DBTYPE_BOOL),
                  SchemaCol(L"DATA_TYPE", DBTYPE_UI2),
                  SchemaCol(L"TYPE_GUID", DBTYPE_GUID),
                  SchemaCol(L"CHARACTER_MAXIMUM_LENGTH", DBTYPE_UI4),
                  SchemaCol(L"CHARACTER_OCTET_LENGTH", DBTYPE_UI4),
                  SchemaCol(L"NUMERIC_PRECISION", DBTYPE_UI2),
                  SchemaCol(L"NUMERIC_SCALE", DBTYPE_I2),
                  SchemaCol(L"DATETIME_PRECISION", DBTYPE_UI4)};
    for (const wchar_t* n : texts) t->columns.push_back(SchemaCol(n, DBTYPE_WSTR, 128));
    t->columns.push_back(SchemaCol(L"DESCRIPTION", DBTYPE_WSTR, 255));
    std::vector<std::shared_ptr<Table>> list = store.tables;
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return _wcsicmp(a->name.c_str(), b->name.c_str()) < 0; });
    std::wstring tableName, columnName;
    bool byTable = Restricted(cR, r, 2, tableName), byColumn = Restricted(cR, r, 3, columnName);
    for (const auto& tab : list) {
        if (byTable && !Same(tab->name, tableName)) continue;
        for (size_t i = 0; i < tab->columns.size(); ++i) {
            const ColumnDef& c = tab->columns[i];
            if (byColumn && !Same(c.name, columnName)) continue;
            bool chars = c.type == DBTYPE_STR || c.type == DBTYPE_WSTR || c.type == DBTYPE_BYTES;
            bool numeric = c.type == DBTYPE_NUMERIC || c.type == DBTYPE_DECIMAL;
            bool number = numeric || c.type == DBTYPE_I1 || c.type == DBTYPE_I2 || c.type == DBTYPE_I4 ||
                          c.type == DBTYPE_I8 || c.type == DBTYPE_UI1 || c.type == DBTYPE_UI2 ||
                          c.type == DBTYPE_UI4 || c.type == DBTYPE_UI8 || c.type == DBTYPE_R4 ||
                          c.type == DBTYPE_R8 || c.type == DBTYPE_CY;
            bool datetime = c.type == DBTYPE_DATE || c.type == DBTYPE_DBDATE || c.type == DBTYPE_DBTIME ||
                            c.type == DBTYPE_DBTIMESTAMP;
            USHORT precision = 0;
            switch (c.type) {
            case DBTYPE_I1: case DBTYPE_UI1: precision = 3; break;
            case DBTYPE_I2: case DBTYPE_UI2: precision = 5; break;
            case DBTYPE_I4: case DBTYPE_UI4: precision = 10; break;
            case DBTYPE_I8: precision = 19; break;
            case DBTYPE_UI8: precision = 20; break;
            case DBTYPE_R4: precision = 7; break;
            case DBTYPE_R8: precision = 15; break;
            case DBTYPE_CY: precision = 19; break;
            default: precision = c.precision;
            }
            auto row = std::make_shared<Row>();
            row->id = t->nextId++;
            row->cells = {NullCell(),
                          NullCell(),
                          TextCell(tab->name),
                          TextCell(c.name),
                          NullCell(),
                          NullCell(),
                          PodCell<ULONG>(static_cast<ULONG>(i + 1)),
                          PodCell<VARIANT_BOOL>(VARIANT_FALSE),
                          NullCell(),
                          PodCell<ULONG>(c.flags),
                          PodCell<VARIANT_BOOL>(c.nullable ? VARIANT_TRUE : VARIANT_FALSE),
                          PodCell<USHORT>(c.type),
                          NullCell(),
                          chars ? PodCell<ULONG>(static_cast<ULONG>(c.size)) : NullCell(),
                          chars ? PodCell<ULONG>(static_cast<ULONG>(c.type == DBTYPE_WSTR && c.size < 0x40000000u
                                                                        ? c.size * 2
                                                                        : c.size))
                                : NullCell(),
                          number ? PodCell<USHORT>(precision) : NullCell(),
                          numeric ? PodCell<SHORT>(c.scale) : NullCell(),
                          datetime ? PodCell<ULONG>(0) : NullCell()};
            for (size_t k = 0; k < 10; ++k) row->cells.push_back(NullCell());
            t->rows.push_back(row);
        }
    }
    return t;
}

} // namespace

HRESULT OpenSchemaRowset(const Store& store, REFGUID schema, ULONG cRestrictions, const VARIANT* restrictions,
                         IUnknown* session, IUnknown* outer, REFIID iid, ULONG cSets, DBPROPSET* sets,
                         IUnknown** ppRowset) {
    if (!ppRowset) return E_INVALIDARG;
    *ppRowset = nullptr;
    if (HRESULT hr = CheckAggregation(outer, iid); FAILED(hr)) return hr;
    if (cRestrictions && !restrictions) return E_INVALIDARG;
    bool tables = IsEqualGUID(schema, guid::kSchemaTables), columns = IsEqualGUID(schema, guid::kSchemaColumns);
    if (!tables && !columns) return E_INVALIDARG;
    if (cRestrictions > 4) return E_INVALIDARG;
    for (ULONG i = 0; i < cRestrictions; ++i) {
        if (restrictions[i].vt == VT_EMPTY) continue;
        if (restrictions[i].vt != VT_BSTR) return E_INVALIDARG;
        if (i < 2) return DB_E_NOTSUPPORTED;  // no catalogs or schemas here
    }
    RowsetProps props;
    HRESULT applied = props.Apply(cSets, sets, nullptr);
    if (FAILED(applied)) return applied;
    props.Normalize();
    RowsetArgs args;
    args.store = std::make_shared<Store>();
    args.table = tables ? TablesSchema(store, cRestrictions, restrictions)
                        : ColumnsSchema(store, cRestrictions, restrictions);
    args.columns = AllColumns(*args.table);
    args.props = props;
    args.creator = session;
    args.readOnly = true;
    HRESULT hr = CreateRowset(std::move(args), outer, iid, reinterpret_cast<void**>(ppRowset));
    if (FAILED(hr)) return hr;
    return applied;
}

namespace {

// ---- command -------------------------------------------------------------

class Command final : public ObjectBase,
                      public ICommandText,
                      public ICommandProperties,
                      public IAccessor,
                      public IColumnsInfo,
                      public IConvertType {
public:
    Command(IUnknown* session, std::shared_ptr<Store> store, IUnknown* outer)
        : ObjectBase(outer), session_(session), store_(std::move(store)) {
        session_->AddRef();
    }
    ~Command() override { session_->Release(); }

    TP_DELEGATING_IUNKNOWN

    // ICommand
    STDMETHODIMP Cancel() override { return S_OK; }
    STDMETHODIMP Execute(IUnknown* outer, REFIID iid, DBPARAMS*, DBROWCOUNT* pcRowsAffected,
                         IUnknown** ppRowset) override {
        RecordBlockStart();
        RecordText("EXECUTE " + Utf8(text_));
        for (const auto& line : recorded_) RecordText(line);
        if (pcRowsAffected) *pcRowsAffected = DB_COUNTUNAVAILABLE;
        if (ppRowset) *ppRowset = nullptr;
        HRESULT hr = ExecuteImpl(outer, iid, ppRowset);
        LogCall("Execute -> " + HrText(hr));
        return hr;
    }
    STDMETHODIMP GetDBSession(REFIID iid, IUnknown** pp) override {
        if (!pp) return E_INVALIDARG;
        return session_->QueryInterface(iid, reinterpret_cast<void**>(pp));
    }

    // ICommandText
    STDMETHODIMP GetCommandText(GUID* pDialect, LPOLESTR* ppText) override {
        if (!ppText) return E_INVALIDARG;
        *ppText = nullptr;
        if (!hasText_) {
            if (pDialect) *pDialect = GUID_NULL;
            return DB_E_NOCOMMAND;
        }
        HRESULT hr = S_OK;
        if (pDialect) {
            if (!IsEqualGUID(*pDialect, dialect_) && !IsEqualGUID(*pDialect, guid::kDialectDefault))
                hr = DB_S_DIALECTIGNORED;
            *pDialect = dialect_;
        }
        *ppText = static_cast<LPOLESTR>(CoTaskMemAlloc((text_.size() + 1) * sizeof(OLECHAR)));
        if (!*ppText) return E_OUTOFMEMORY;
        std::memcpy(*ppText, text_.c_str(), (text_.size() + 1) * sizeof(OLECHAR));
        return hr;
    }
    STDMETHODIMP SetCommandText(REFGUID dialect, LPCOLESTR text) override {
        if (!IsEqualGUID(dialect, guid::kDialectDefault) && !IsEqualGUID(dialect, guid::kDialectSql))
            return DB_E_DIALECTNOTSUPPORTED;
        hasText_ = text && *text;
        text_ = text ? text : L"";
        dialect_ = dialect;
        return S_OK;
    }

    // ICommandProperties
    STDMETHODIMP GetProperties(const ULONG cSets, const DBPROPIDSET rgSets[], ULONG* pcSets,
                               DBPROPSET** prgSets) override {
        RowsetProps eff = props_;
        eff.Normalize();
        return eff.GetProperties(cSets, rgSets, pcSets, prgSets);
    }
    STDMETHODIMP SetProperties(ULONG cSets, DBPROPSET rgSets[]) override {
        return props_.Apply(cSets, rgSets, &recorded_);
    }

    // IAccessor (parameter accessors; the command takes no parameters, but
    // consumers may still create and release them)
    STDMETHODIMP AddRefAccessor(HACCESSOR h, DBREFCOUNT* pc) override { return accessors_.AddRef(h, pc); }
    STDMETHODIMP CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM c, const DBBINDING b[], DBLENGTH cb,
                                HACCESSOR* ph, DBBINDSTATUS st[]) override {
        return accessors_.Create(flags, c, b, cb, ph, st,
                                 [](DBCOUNTITEM, const DBBINDING&) -> DBBINDSTATUS { return DBBINDSTATUS_OK; });
    }
    STDMETHODIMP GetBindings(HACCESSOR h, DBACCESSORFLAGS* f, DBCOUNTITEM* c, DBBINDING** b) override {
        return accessors_.GetBindings(h, f, c, b);
    }
    STDMETHODIMP ReleaseAccessor(HACCESSOR h, DBREFCOUNT* pc) override { return accessors_.Release(h, pc); }

    // IColumnsInfo
    STDMETHODIMP GetColumnInfo(DBORDINAL* pc, DBCOLUMNINFO** info, OLECHAR** strings) override {
        if (pc) *pc = 0;
        if (info) *info = nullptr;
        if (strings) *strings = nullptr;
        if (!pc || !info || !strings) return E_INVALIDARG;
        if (!hasText_) return DB_E_NOCOMMAND;
        std::shared_ptr<Table> table;
        std::vector<int> cols;
        HRESULT hr = ParseSelect(*store_, text_, table, cols);
        if (FAILED(hr)) return hr;
        std::vector<const ColumnDef*> defs;
        for (int i : cols) defs.push_back(&table->columns[i]);
        RowsetProps eff = props_;
        eff.Normalize();
        return ColumnInfo(defs, eff.On(DBPROP_BOOKMARKS), pc, info, strings);
    }
    STDMETHODIMP MapColumnIDs(DBORDINAL cIds, const DBID rgIds[], DBORDINAL rgColumns[]) override {
        if (cIds && (!rgIds || !rgColumns)) return E_INVALIDARG;
        if (!hasText_) return DB_E_NOCOMMAND;
        std::shared_ptr<Table> table;
        std::vector<int> cols;
        HRESULT hr = ParseSelect(*store_, text_, table, cols);
        if (FAILED(hr)) return hr;
        size_t errors = 0;
        for (DBORDINAL i = 0; i < cIds; ++i) {
            rgColumns[i] = DB_INVALIDCOLUMN;
            if (rgIds[i].eKind == DBKIND_NAME && rgIds[i].uName.pwszName)
                for (size_t k = 0; k < cols.size(); ++k)
                    if (Same(table->columns[cols[k]].name, rgIds[i].uName.pwszName)) rgColumns[i] = k + 1;
            if (rgColumns[i] == DB_INVALIDCOLUMN) ++errors;
        }
        return errors == 0 ? S_OK : (errors == cIds ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED);
    }

    // IConvertType
    STDMETHODIMP CanConvert(DBTYPE from, DBTYPE to, DBCONVERTFLAGS) override {
        return tp::CanConvert(from, to) ? S_OK : S_FALSE;
    }

protected:
    void* Find(REFIID iid) override {
        if (IsEqualIID(iid, IID_ICommand)) return static_cast<ICommand*>(static_cast<ICommandText*>(this));
        if (IsEqualIID(iid, IID_ICommandText)) return static_cast<ICommandText*>(this);
        if (IsEqualIID(iid, IID_ICommandProperties)) return static_cast<ICommandProperties*>(this);
        if (IsEqualIID(iid, IID_IAccessor)) return static_cast<IAccessor*>(this);
        if (IsEqualIID(iid, IID_IColumnsInfo)) return static_cast<IColumnsInfo*>(this);
        if (IsEqualIID(iid, IID_IConvertType)) return static_cast<IConvertType*>(this);
        return nullptr;
    }

private:
    HRESULT ExecuteImpl(IUnknown* outer, REFIID iid, IUnknown** ppRowset) {
        if (HRESULT hr = CheckAggregation(outer, iid); FAILED(hr)) return hr;
        if (!hasText_) return DB_E_NOCOMMAND;
        std::shared_ptr<Table> table;
        std::vector<int> cols;
        HRESULT hr = ParseSelect(*store_, text_, table, cols);
        if (FAILED(hr)) return hr;
        return OpenTable(store_, table, std::move(cols), props_, S_OK, Controlling(), outer, iid, ppRowset);
    }

    IUnknown* session_;
    std::shared_ptr<Store> store_;
    std::wstring text_;
    bool hasText_ = false;
    GUID dialect_ = GUID_NULL;
    RowsetProps props_;
    std::vector<std::string> recorded_;
    AccessorTable accessors_;
};

// ---- session -------------------------------------------------------------

class Session final : public ObjectBase,
                      public IGetDataSource,
                      public IOpenRowset,
                      public ISessionProperties,
                      public IDBCreateCommand,
                      public IDBSchemaRowset {
public:
    Session(IUnknown* dataSource, std::shared_ptr<Store> store, std::shared_ptr<std::atomic<long>> open,
            IUnknown* outer)
        : ObjectBase(outer), ds_(dataSource), store_(std::move(store)), open_(std::move(open)) {
        ds_->AddRef();
        ++*open_;
    }
    ~Session() override {
        --*open_;
        ds_->Release();
    }

    TP_DELEGATING_IUNKNOWN

    STDMETHODIMP GetDataSource(REFIID iid, IUnknown** pp) override {
        if (!pp) return E_INVALIDARG;
        return ds_->QueryInterface(iid, reinterpret_cast<void**>(pp));
    }

    STDMETHODIMP OpenRowset(IUnknown* outer, DBID* pTableID, DBID* pIndexID, REFIID iid, ULONG cSets,
                            DBPROPSET sets[], IUnknown** ppRowset) override {
        if (ppRowset) *ppRowset = nullptr;
        std::wstring name;
        if (pTableID && pTableID->eKind == DBKIND_NAME && pTableID->uName.pwszName) name = pTableID->uName.pwszName;
        RecordBlockStart();
        RecordText("OPENROWSET " + Utf8(name));
        RowsetProps props;
        std::vector<std::string> lines;
        HRESULT applied = props.Apply(cSets, sets, &lines);
        for (const auto& l : lines) RecordText(l);
        HRESULT hr = OpenImpl(outer, pTableID, pIndexID, iid, name, props, applied, ppRowset);
        LogCall("OpenRowset -> " + HrText(hr));
        return hr;
    }

    STDMETHODIMP GetProperties(ULONG cSets, const DBPROPIDSET rgSets[], ULONG* pcSets,
                               DBPROPSET** prgSets) override {
        if (!pcSets || !prgSets) return E_INVALIDARG;
        *pcSets = 0;
        *prgSets = nullptr;
        // No session properties are supported; asked-for ones come back so.
        if (cSets == 0) return S_OK;
        if (!rgSets) return E_INVALIDARG;
        auto* out = static_cast<DBPROPSET*>(CoTaskMemAlloc(sizeof(DBPROPSET) * cSets));
        if (!out) return E_OUTOFMEMORY;
        ULONG total = 0;
        for (ULONG s = 0; s < cSets; ++s) {
            out[s].guidPropertySet = rgSets[s].guidPropertySet;
            out[s].cProperties = rgSets[s].cPropertyIDs;
            out[s].rgProperties = nullptr;
            if (rgSets[s].cPropertyIDs) {
                out[s].rgProperties = static_cast<DBPROP*>(CoTaskMemAlloc(sizeof(DBPROP) * rgSets[s].cPropertyIDs));
                if (!out[s].rgProperties) out[s].cProperties = 0;
                for (ULONG k = 0; k < out[s].cProperties; ++k) {
                    DBPROP& p = out[s].rgProperties[k];
                    std::memset(&p, 0, sizeof p);
                    p.dwPropertyID = rgSets[s].rgPropertyIDs[k];
                    p.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
                    VariantInit(&p.vValue);
                    ++total;
                }
            }
        }
        *pcSets = cSets;
        *prgSets = out;
        return total ? DB_E_ERRORSOCCURRED : S_OK;
    }
    STDMETHODIMP SetProperties(ULONG cSets, DBPROPSET rgSets[]) override {
        ULONG total = 0;
        for (ULONG s = 0; s < cSets; ++s)
            for (ULONG k = 0; k < rgSets[s].cProperties; ++k) {
                rgSets[s].rgProperties[k].dwStatus = DBPROPSTATUS_NOTSUPPORTED;
                ++total;
            }
        return total ? DB_E_ERRORSOCCURRED : S_OK;
    }

    STDMETHODIMP CreateCommand(IUnknown* outer, REFIID iid, IUnknown** pp) override {
        if (!pp) return E_INVALIDARG;
        *pp = nullptr;
        if (HRESULT hr = CheckAggregation(outer, iid); FAILED(hr)) return hr;
        return tp::CreateCommand(Controlling(), store_, outer, iid, reinterpret_cast<void**>(pp));
    }

    STDMETHODIMP GetRowset(IUnknown* outer, REFGUID schema, ULONG cRestrictions, const VARIANT rgRestrictions[],
                           REFIID iid, ULONG cSets, DBPROPSET sets[], IUnknown** ppRowset) override {
        return OpenSchemaRowset(*store_, schema, cRestrictions, rgRestrictions, Controlling(), outer, iid, cSets,
                                sets, ppRowset);
    }
    STDMETHODIMP GetSchemas(ULONG* pc, GUID** prgSchemas, ULONG** prgRestrictions) override {
        if (!pc || !prgSchemas) return E_INVALIDARG;
        *pc = 2;
        *prgSchemas = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID) * 2));
        if (!*prgSchemas) return E_OUTOFMEMORY;
        (*prgSchemas)[0] = guid::kSchemaTables;
        (*prgSchemas)[1] = guid::kSchemaColumns;
        if (prgRestrictions) {
            // TABLE_NAME and TABLE_TYPE; TABLE_NAME and COLUMN_NAME.
            *prgRestrictions = static_cast<ULONG*>(CoTaskMemAlloc(sizeof(ULONG) * 2));
            if (*prgRestrictions) (*prgRestrictions)[0] = (*prgRestrictions)[1] = 0x4 | 0x8;
        }
        return S_OK;
    }

protected:
    void* Find(REFIID iid) override {
        if (IsEqualIID(iid, IID_IGetDataSource)) return static_cast<IGetDataSource*>(this);
        if (IsEqualIID(iid, IID_IOpenRowset)) return static_cast<IOpenRowset*>(this);
        if (IsEqualIID(iid, IID_ISessionProperties)) return static_cast<ISessionProperties*>(this);
        if (IsEqualIID(iid, IID_IDBCreateCommand)) return static_cast<IDBCreateCommand*>(this);
        if (IsEqualIID(iid, IID_IDBSchemaRowset))
            return store_->noSchemaRowset ? nullptr : static_cast<IDBSchemaRowset*>(this);
        return nullptr;
    }

private:
    HRESULT OpenImpl(IUnknown* outer, DBID* pTableID, DBID* pIndexID, REFIID iid, const std::wstring& name,
                     const RowsetProps& props, HRESULT applied, IUnknown** ppRowset) {
        if (!pTableID && !pIndexID) return E_INVALIDARG;
        if (HRESULT hr = CheckAggregation(outer, iid); FAILED(hr)) return hr;
        if (pIndexID) return DB_E_NOINDEX;
        if (pTableID->eKind != DBKIND_NAME || name.empty()) return DB_E_NOTABLE;
        auto table = store_->Find(name);
        if (!table) return DB_E_NOTABLE;
        if (applied == DB_E_ERRORSOCCURRED) return DB_E_ERRORSOCCURRED;
        return OpenTable(store_, table, AllColumns(*table), props, applied, Controlling(), outer, iid, ppRowset);
    }

    IUnknown* ds_;
    std::shared_ptr<Store> store_;
    std::shared_ptr<std::atomic<long>> open_;  // the data source's count of live sessions
};

// ---- data source ---------------------------------------------------------

struct InitProp {
    DBPROPID id;
    VARTYPE vt;
    const wchar_t* name;
};
// The data source property comes first: consumers that list properties in
// order see the connection-defining one before the rest.
constexpr InitProp kInitProps[] = {
    {DBPROP_INIT_DATASOURCE, VT_BSTR, L"Data Source"},
    {DBPROP_AUTH_USERID, VT_BSTR, L"User ID"},
    {DBPROP_AUTH_PASSWORD, VT_BSTR, L"Password"},
    {DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO, VT_BOOL, L"Persist Security Info"},
    {DBPROP_AUTH_INTEGRATED, VT_BSTR, L"Integrated Security"},
    {DBPROP_INIT_CATALOG, VT_BSTR, L"Initial Catalog"},
    {DBPROP_INIT_PROVIDERSTRING, VT_BSTR, L"Extended Properties"},
    {DBPROP_INIT_LOCATION, VT_BSTR, L"Location"},
    {DBPROP_INIT_MODE, VT_I4, L"Mode"},
    {DBPROP_INIT_PROMPT, VT_I2, L"Prompt"},
    {DBPROP_INIT_HWND, VT_I4, L"Window Handle"},
    {DBPROP_INIT_LCID, VT_I4, L"Locale Identifier"},
    {DBPROP_INIT_TIMEOUT, VT_I4, L"Connect Timeout"},
    {DBPROP_INIT_GENERALTIMEOUT, VT_I4, L"General Timeout"},
    {DBPROP_INIT_OLEDBSERVICES, VT_I4, L"OLE DB Services"},
};

struct InfoProp {
    DBPROPID id;
    const wchar_t* name;
    const wchar_t* value;
};
constexpr InfoProp kInfoProps[] = {
    {DBPROP_DBMSNAME, L"DBMS Name", L"Quillet test tables"},
    {DBPROP_DBMSVER, L"DBMS Version", L"01.00.0000"},
    {DBPROP_PROVIDERFRIENDLYNAME, L"Provider Friendly Name", L"Quillet Test Provider"},
    {DBPROP_PROVIDERFILENAME, L"Provider Name", L"rgtestprov.dll"},
    {DBPROP_PROVIDERVER, L"Provider Version", L"01.00.0000"},
    {DBPROP_PROVIDEROLEDBVER, L"OLE DB Version", L"02.70"},
};

class DataSource final : public ObjectBase,
                         public IDBInitialize,
                         public IDBProperties,
                         public IDBCreateSession,
                         public IPersist {
public:
    explicit DataSource(IUnknown* outer) : ObjectBase(outer) {
        for (auto& v : values_) VariantInit(&v);
    }
    ~DataSource() override {
        for (auto& v : values_) VariantClear(&v);
    }

    TP_DELEGATING_IUNKNOWN

    // IDBInitialize
    STDMETHODIMP Initialize() override {
        HRESULT hr = InitializeImpl();
        LogCall("Initialize -> " + HrText(hr));
        return hr;
    }
    STDMETHODIMP Uninitialize() override {
        if (*sessions_ > 0) return DB_E_OBJECTOPEN;
        store_.reset();
        return S_OK;
    }

    // IDBProperties
    STDMETHODIMP GetProperties(ULONG cSets, const DBPROPIDSET rgSets[], ULONG* pcSets, DBPROPSET** prgSets) override {
        if (!pcSets || !prgSets) return E_INVALIDARG;
        *pcSets = 0;
        *prgSets = nullptr;
        if (cSets && !rgSets) return E_INVALIDARG;
        std::vector<GUID> setIds;
        std::vector<std::vector<DBPROPID>> asked;
        if (cSets == 0) {
            setIds.push_back(guid::kPropsetDbInit);
            asked.emplace_back();
            if (store_) {
                setIds.push_back(guid::kPropsetDataSourceInfo);
                asked.emplace_back();
            }
        } else {
            for (ULONG s = 0; s < cSets; ++s) {
                setIds.push_back(rgSets[s].guidPropertySet);
                asked.emplace_back(rgSets[s].rgPropertyIDs, rgSets[s].rgPropertyIDs + rgSets[s].cPropertyIDs);
            }
        }
        auto* out = static_cast<DBPROPSET*>(CoTaskMemAlloc(sizeof(DBPROPSET) * setIds.size()));
        if (!out) return E_OUTOFMEMORY;
        ULONG total = 0, failed = 0;
        for (size_t s = 0; s < setIds.size(); ++s) {
            bool init = IsEqualGUID(setIds[s], guid::kPropsetDbInit);
            bool info = IsEqualGUID(setIds[s], guid::kPropsetDataSourceInfo) && store_;
            std::vector<DBPROPID> ids = asked[s];
            if (ids.empty()) {
                if (init) for (const auto& p : kInitProps) ids.push_back(p.id);
                if (info) for (const auto& p : kInfoProps) ids.push_back(p.id);
            }
            out[s].guidPropertySet = setIds[s];
            out[s].cProperties = static_cast<ULONG>(ids.size());
            out[s].rgProperties = ids.empty() ? nullptr : static_cast<DBPROP*>(CoTaskMemAlloc(sizeof(DBPROP) * ids.size()));
            if (!out[s].rgProperties) ids.clear();
            out[s].cProperties = static_cast<ULONG>(ids.size());
            for (size_t k = 0; k < ids.size(); ++k) {
                DBPROP& p = out[s].rgProperties[k];
                std::memset(&p, 0, sizeof p);
                p.dwPropertyID = ids[k];
                p.dwOptions = DBPROPOPTIONS_REQUIRED;
                VariantInit(&p.vValue);
                p.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
                ++total;
                if (init) {
                    int i = InitIndex(ids[k]);
                    if (i >= 0) {
                        VariantCopy(&p.vValue, &values_[i]);
                        p.dwStatus = DBPROPSTATUS_OK;
                    }
                } else if (info) {
                    for (const auto& ip : kInfoProps)
                        if (ip.id == ids[k]) {
                            p.vValue.vt = VT_BSTR;
                            p.vValue.bstrVal = SysAllocString(ip.value);
                            p.dwStatus = DBPROPSTATUS_OK;
                        }
                }
                if (p.dwStatus != DBPROPSTATUS_OK) ++failed;
            }
        }
        *pcSets = static_cast<ULONG>(setIds.size());
        *prgSets = out;
        if (failed == 0) return S_OK;
        return failed == total ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
    }

    STDMETHODIMP GetPropertyInfo(ULONG cSets, const DBPROPIDSET rgSets[], ULONG* pcInfoSets,
                                 DBPROPINFOSET** prgInfoSets, OLECHAR** ppDescBuffer) override {
        if (!pcInfoSets || !prgInfoSets) return E_INVALIDARG;
        *pcInfoSets = 0;
        *prgInfoSets = nullptr;
        if (ppDescBuffer) *ppDescBuffer = nullptr;
        if (cSets && !rgSets) return E_INVALIDARG;
        struct Item { GUID set; std::vector<DBPROPID> ids; };
        std::vector<Item> items;
        if (cSets == 0) {
            items.push_back({guid::kPropsetDbInit, {}});
            if (store_) items.push_back({guid::kPropsetDataSourceInfo, {}});
        } else {
            for (ULONG s = 0; s < cSets; ++s) {
                GUID g = rgSets[s].guidPropertySet;
                if (IsEqualGUID(g, guid::kPropsetDbInitAll)) g = guid::kPropsetDbInit;
                if (IsEqualGUID(g, guid::kPropsetDataSourceInfoAll)) g = guid::kPropsetDataSourceInfo;
                items.push_back({g, std::vector<DBPROPID>(rgSets[s].rgPropertyIDs,
                                                          rgSets[s].rgPropertyIDs + rgSets[s].cPropertyIDs)});
            }
        }
        // Resolve names first so the description buffer is one block.
        struct Found { DBPROPID id; VARTYPE vt; const wchar_t* name; DBPROPFLAGS flags; };
        std::vector<std::vector<Found>> found(items.size());
        size_t chars = 0;
        ULONG total = 0, failed = 0;
        for (size_t s = 0; s < items.size(); ++s) {
            bool init = IsEqualGUID(items[s].set, guid::kPropsetDbInit);
            bool info = IsEqualGUID(items[s].set, guid::kPropsetDataSourceInfo) && store_;
            std::vector<DBPROPID> ids = items[s].ids;
            if (ids.empty()) {
                if (init) for (const auto& p : kInitProps) ids.push_back(p.id);
                if (info) for (const auto& p : kInfoProps) ids.push_back(p.id);
            }
            for (DBPROPID id : ids) {
                Found f{id, VT_EMPTY, nullptr, DBPROPFLAGS_NOTSUPPORTED};
                if (init)
                    for (const auto& p : kInitProps)
                        if (p.id == id) f = {id, p.vt, p.name, DBPROPFLAGS_DBINIT | DBPROPFLAGS_READ | DBPROPFLAGS_WRITE};
                if (info)
                    for (const auto& p : kInfoProps)
                        if (p.id == id) f = {id, VT_BSTR, p.name, DBPROPFLAGS_DATASOURCEINFO | DBPROPFLAGS_READ};
                if (f.name) chars += wcslen(f.name) + 1;
                else ++failed;
                ++total;
                found[s].push_back(f);
            }
        }
        OLECHAR* buffer = nullptr;
        if (ppDescBuffer && chars) {
            buffer = static_cast<OLECHAR*>(CoTaskMemAlloc(chars * sizeof(OLECHAR)));
            if (!buffer) return E_OUTOFMEMORY;
        }
        auto* out = static_cast<DBPROPINFOSET*>(CoTaskMemAlloc(sizeof(DBPROPINFOSET) * items.size()));
        if (!out) {
            CoTaskMemFree(buffer);
            return E_OUTOFMEMORY;
        }
        OLECHAR* p = buffer;
        for (size_t s = 0; s < items.size(); ++s) {
            out[s].guidPropertySet = items[s].set;
            out[s].cPropertyInfos = static_cast<ULONG>(found[s].size());
            out[s].rgPropertyInfos = found[s].empty()
                                         ? nullptr
                                         : static_cast<DBPROPINFO*>(CoTaskMemAlloc(sizeof(DBPROPINFO) * found[s].size()));
            if (!out[s].rgPropertyInfos) found[s].clear();
            out[s].cPropertyInfos = static_cast<ULONG>(found[s].size());
            for (size_t k = 0; k < found[s].size(); ++k) {
                DBPROPINFO& pi = out[s].rgPropertyInfos[k];
                std::memset(&pi, 0, sizeof pi);
                pi.dwPropertyID = found[s][k].id;
                pi.dwFlags = found[s][k].flags;
                pi.vtType = found[s][k].vt;
                VariantInit(&pi.vValues);
                if (buffer && found[s][k].name) {
                    size_t n = wcslen(found[s][k].name) + 1;
                    std::memcpy(p, found[s][k].name, n * sizeof(OLECHAR));
                    pi.pwszDescription = p;
                    p += n;
                }
            }
        }
        *pcInfoSets = static_cast<ULONG>(items.size());
        *prgInfoSets = out;
        if (ppDescBuffer) *ppDescBuffer = buffer;
        if (failed == 0) return S_OK;
        return failed == total ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
    }

    STDMETHODIMP SetProperties(ULONG cSets, DBPROPSET rgSets[]) override {
        if (cSets && !rgSets) return E_INVALIDARG;
        ULONG total = 0, failed = 0;
        for (ULONG s = 0; s < cSets; ++s) {
            DBPROPSET& set = rgSets[s];
            if (set.cProperties && !set.rgProperties) return E_INVALIDARG;
            bool init = IsEqualGUID(set.guidPropertySet, guid::kPropsetDbInit);
            for (ULONG k = 0; k < set.cProperties; ++k) {
                DBPROP& prop = set.rgProperties[k];
                ++total;
                int i = init ? InitIndex(prop.dwPropertyID) : -1;
                if (prop.dwOptions != DBPROPOPTIONS_REQUIRED && prop.dwOptions != DBPROPOPTIONS_OPTIONAL)
                    prop.dwStatus = DBPROPSTATUS_BADOPTION;
                else if (i < 0)
                    prop.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
                else if (store_)
                    prop.dwStatus = DBPROPSTATUS_NOTSETTABLE;
                else if (prop.vValue.vt != VT_EMPTY && prop.vValue.vt != kInitProps[i].vt)
                    prop.dwStatus = DBPROPSTATUS_BADVALUE;
                else {
                    VariantClear(&values_[i]);
                    VariantCopy(&values_[i], &prop.vValue);
                    prop.dwStatus = DBPROPSTATUS_OK;
                }
                if (prop.dwStatus != DBPROPSTATUS_OK) ++failed;
            }
        }
        if (failed == 0) return S_OK;
        return failed == total ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
    }

    // IDBCreateSession
    STDMETHODIMP CreateSession(IUnknown* outer, REFIID iid, IUnknown** pp) override {
        if (!pp) return E_INVALIDARG;
        *pp = nullptr;
        if (!store_) return E_UNEXPECTED;
        if (HRESULT hr = CheckAggregation(outer, iid); FAILED(hr)) return hr;
        auto fault = store_->FaultFor(nullptr, "createsession", 0);
        if (fault && FAILED(*fault)) return *fault;
        HRESULT hr = HandOut(new Session(Controlling(), store_, sessions_, outer), outer, iid, reinterpret_cast<void**>(pp));
        if (SUCCEEDED(hr) && fault) hr = *fault;
        return hr;
    }

    // IPersist
    STDMETHODIMP GetClassID(CLSID* pClassID) override {
        if (!pClassID) return E_FAIL;
        *pClassID = guid::kProvider;
        return S_OK;
    }

protected:
    void* Find(REFIID iid) override {
        if (IsEqualIID(iid, IID_IDBInitialize)) return static_cast<IDBInitialize*>(this);
        if (IsEqualIID(iid, IID_IDBProperties)) return static_cast<IDBProperties*>(this);
        if (IsEqualIID(iid, IID_IDBCreateSession)) return static_cast<IDBCreateSession*>(this);
        if (IsEqualIID(iid, IID_IPersist)) return static_cast<IPersist*>(this);
        return nullptr;
    }

private:
    static int InitIndex(DBPROPID id) {
        for (size_t i = 0; i < std::size(kInitProps); ++i)
            if (kInitProps[i].id == id) return static_cast<int>(i);
        return -1;
    }

    HRESULT InitializeImpl() {
        if (store_) return DB_E_ALREADYINITIALIZED;
        const VARIANT& src = values_[InitIndex(DBPROP_INIT_DATASOURCE)];
        if (src.vt != VT_BSTR || !src.bstrVal || !*src.bstrVal) {
            SetLastErrorText(L"no Data Source given");
            return E_FAIL;
        }
        std::wstring error;
        auto store = LoadStore(src.bstrVal, error);
        if (!store) {
            SetLastErrorText(error);
            return E_FAIL;
        }
        auto fault = store->FaultFor(nullptr, "initialize", 0);
        if (fault && FAILED(*fault)) {
            SetLastErrorText(L"initialize fault switch");
            return *fault;
        }
        store_ = store;
        SetLastErrorText(L"");
        SetLastStore(store_);
        return fault ? *fault : S_OK;
    }

    VARIANT values_[std::size(kInitProps)];
    std::shared_ptr<Store> store_;
    std::shared_ptr<std::atomic<long>> sessions_ = std::make_shared<std::atomic<long>>(0);
};

} // namespace

HRESULT CreateDataSource(IUnknown* outer, REFIID iid, void** ppv) {
    return HandOut(new DataSource(outer), outer, iid, ppv);
}
HRESULT CreateCommand(IUnknown* session, std::shared_ptr<Store> store, IUnknown* outer, REFIID iid, void** ppv) {
    return HandOut(new Command(session, std::move(store), outer), outer, iid, ppv);
}

} // namespace tp
