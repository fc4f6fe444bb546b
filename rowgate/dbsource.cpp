#include "dbsource.h"

#include <msdasc.h>
#include <oledberr.h>
#include <oleauto.h>

#include <algorithm>
#include <cstring>

#include "column_decode.h"
#include "conn_text.h"
#include "oledb_guids.h"
#include "win/strings.h"

namespace rowgate {
namespace {

constexpr size_t kSchemaNameBytes = 129;

template <typename T>
win::ComPtr<T> TakeAs(win::ComPtr<IUnknown>& unk) {
    return win::ComPtr<T>::Attach(static_cast<T*>(static_cast<void*>(unk.detach())));
}

// Reads one name column out of a schema row set: binds the listed columns as
// the schema defines them, walks the rows and collects the chosen column.
struct SchemaColumn {
    DBORDINAL ordinal;
    DBTYPE type;
    size_t size;
};

int CollectSchemaNames(IOpenRowset* session, REFGUID schema, VARIANT* restrictions,
                       const std::vector<SchemaColumn>& cols, DBORDINAL nameOrdinal, std::vector<std::string>& out) {
    win::ComPtr<IDBSchemaRowset> schemaRowset;
    if (FAILED(session->QueryInterface(IID_IDBSchemaRowset, schemaRowset.put_void()))) return 0;
    win::ComPtr<IUnknown> unk;
    if (FAILED(schemaRowset->GetRowset(nullptr, schema, 4, restrictions, IID_IRowset, 0, nullptr, unk.put())) || !unk)
        return 0;
    win::ComPtr<IRowset> rowset = TakeAs<IRowset>(unk);
    win::ComPtr<IAccessor> accessor;
    if (FAILED(rowset->QueryInterface(IID_IAccessor, accessor.put_void()))) return 0;

    std::vector<DBBINDING> bindings(cols.size());
    size_t off = 0;
    size_t nameValueOff = 0, nameStatusOff = 0;
    for (size_t i = 0; i < cols.size(); ++i) {
        DBBINDING& b = bindings[i];
        std::memset(&b, 0, sizeof b);
        const ColumnPlace place = PlaceColumn(off, cols[i].size);
        b.iOrdinal = cols[i].ordinal;
        b.obValue = place.value;
        b.obLength = place.length;
        b.obStatus = place.status;
        b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
        b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        b.eParamIO = DBPARAMIO_NOTPARAM;
        b.cbMaxLen = cols[i].size;
        b.wType = cols[i].type;
        if (cols[i].ordinal == nameOrdinal) {
            nameValueOff = b.obValue;
            nameStatusOff = b.obStatus;
        }
    }
    HACCESSOR handle = 0;
    if (FAILED(accessor->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(), off, &handle, nullptr)))
        return 0;

    std::vector<unsigned char> row(off, 0);
    for (;;) {
        HROW hrow = 0;
        HROW* rows = &hrow;
        DBCOUNTITEM got = 0;
        if (rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &rows) != S_OK || got == 0) {
            if (got) rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr);
            break;
        }
        std::fill(row.begin(), row.end(), 0);
        const HRESULT hr = rowset->GetData(hrow, handle, row.data());
        rowset->ReleaseRows(1, &hrow, nullptr, nullptr, nullptr);
        if (FAILED(hr)) continue;
        const char* name = reinterpret_cast<const char*>(row.data() + nameValueOff);
        DBSTATUS status;
        std::memcpy(&status, row.data() + nameStatusOff, sizeof status);
        if (status == DBSTATUS_S_OK || status == DBSTATUS_S_TRUNCATED)
            out.emplace_back(name, strnlen(name, kSchemaNameBytes - 1));
        else
            out.emplace_back();
    }
    accessor->ReleaseAccessor(handle, nullptr);
    return static_cast<int>(out.size());
}

void ClearVariants(VARIANT* v, size_t n) {
    for (size_t i = 0; i < n; ++i) VariantClear(&v[i]);
}

bool IsReadStatus(DBSTATUS s) { return s == DBSTATUS_S_OK || s == DBSTATUS_S_TRUNCATED; }

static_assert(sizeof(DBLENGTH) == kLengthBytes && alignof(DBLENGTH) <= kLengthBytes);
static_assert(sizeof(DBSTATUS) == kStatusBytes);

} // namespace

DBSource::~DBSource() {
    ReleaseCommand();
    ReleaseRowSetResources();
    connectionText_.clear();
    session_.reset();
    dataSource_.reset();
    connectionOpen_ = 0;
    fieldNames_.clear();
    tableNames_.clear();
}

// ---------------------------------------------------------------- connection

bool DBSource::FinishOpen(HRESULT hr) {
    if (hr != S_OK) {
        dataSource_.reset();
        return false;
    }
    win::ComPtr<IDBCreateSession> creator;
    hr = dataSource_.As(creator, IID_IDBCreateSession);
    if (hr == S_OK) {
        win::ComPtr<IUnknown> unk;
        hr = creator->CreateSession(nullptr, IID_IOpenRowset, unk.put());
        if (hr == S_OK) session_ = TakeAs<IOpenRowset>(unk);
    }
    if (hr != S_OK || !session_) {
        session_.reset();
        dataSource_.reset();
        return false;
    }
    connectionOpen_ = 1;
    return true;
}

bool DBSource::OpenWithDialog() {
    session_.reset();
    CloseConnection();
    win::ComPtr<IDBPromptInitialize> prompt;
    HRESULT hr = CoCreateInstance(guid::kClsidDataLinks, nullptr, CLSCTX_INPROC_SERVER,
                                  guid::kIidDBPromptInitialize, prompt.put_void());
    if (hr == S_OK && prompt) {
        win::ComPtr<IUnknown> props;
        hr = prompt->PromptDataSource(nullptr, GetActiveWindow(), DBPROMPTOPTIONS_WIZARDSHEET, 0, nullptr, nullptr,
                                      IID_IDBProperties, props.put());
        if (hr == S_FALSE) hr = HRESULT_FROM_WIN32(ERROR_CANCELLED);
        if (hr == S_OK && props) {
            hr = props.As(dataSource_, IID_IDBInitialize);
            if (hr == S_OK) hr = dataSource_->Initialize();
        } else if (hr == S_OK) {
            hr = E_FAIL;
        }
    } else if (hr == S_OK) {
        hr = E_FAIL;
    }
    return FinishOpen(hr);
}

bool DBSource::OpenFromString(const char* initString) {
    session_.reset();
    CloseConnection();
    std::wstring wide;
    if (initString) wide = win::FromAnsi(initString);
    win::ComPtr<IDataInitialize> init;
    HRESULT hr = CoCreateInstance(guid::kClsidMsdaInitialize, nullptr, CLSCTX_INPROC_SERVER,
                                  guid::kIidDataInitialize, init.put_void());
    if (hr == S_OK && init) {
        win::ComPtr<IUnknown> unk;
        hr = init->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, initString ? wide.c_str() : nullptr,
                                 IID_IDBInitialize, unk.put());
        if (hr == S_OK && unk) {
            dataSource_ = TakeAs<IDBInitialize>(unk);
            hr = dataSource_->Initialize();
        } else if (hr == S_OK) {
            hr = E_FAIL;
        }
    } else if (hr == S_OK) {
        hr = E_FAIL;
    }
    return FinishOpen(hr);
}

void DBSource::CloseConnection() {
    if (rowset_) ReleaseRowSetResources();
    if (connectionOpen_) {
        session_.reset();
        dataSource_.reset();
        connectionOpen_ = 0;
        connectionText_.clear();
    }
}

bool DBSource::ConnectionText(std::string& out) {
    out.clear();
    if (!connectionOpen_) return false;
    std::string raw;
    win::ComPtr<IDataInitialize> init;
    if (SUCCEEDED(CoCreateInstance(guid::kClsidMsdaInitialize, nullptr, CLSCTX_INPROC_SERVER,
                                   guid::kIidDataInitialize, init.put_void())) && init) {
        LPWSTR text = nullptr;
        if (SUCCEEDED(init->GetInitializationString(dataSource_.get(), FALSE, &text)) && text)
            raw = win::ToAnsi(text);
        CoTaskMemFree(text);
    }
    connectionText_ = FilterConnectionText(raw);
    out = connectionText_;
    return true;
}

int DBSource::ListTables() {
    tableNames_.clear();
    if (!session_) return 0;
    VARIANT r[4];
    for (VARIANT& v : r) VariantInit(&v);
    r[3].vt = VT_BSTR;
    r[3].bstrVal = SysAllocString(L"TABLE");
    const std::vector<SchemaColumn> cols = {
        {1, DBTYPE_STR, kSchemaNameBytes}, {2, DBTYPE_STR, kSchemaNameBytes}, {3, DBTYPE_STR, kSchemaNameBytes},
        {4, DBTYPE_STR, kSchemaNameBytes}, {5, DBTYPE_GUID, sizeof(GUID)},   {6, DBTYPE_STR, kSchemaNameBytes}};
    int n = 0;
    if (r[3].bstrVal) n = CollectSchemaNames(session_.get(), guid::kSchemaTables, r, cols, 3, tableNames_);
    ClearVariants(r, 4);
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
    VARIANT r[4];
    for (VARIANT& v : r) VariantInit(&v);
    if (table) {
        r[2].vt = VT_BSTR;
        r[2].bstrVal = SysAllocString(win::FromAnsi(table).c_str());
        if (!r[2].bstrVal) return 0;
    }
    const std::vector<SchemaColumn> cols = {{1, DBTYPE_STR, kSchemaNameBytes},
                                            {2, DBTYPE_STR, kSchemaNameBytes},
                                            {3, DBTYPE_STR, kSchemaNameBytes},
                                            {4, DBTYPE_STR, kSchemaNameBytes}};
    const int n = CollectSchemaNames(session_.get(), guid::kSchemaColumns, r, cols, 4, fieldNames_);
    ClearVariants(r, 4);
    if (n == 0) fieldNames_.clear();
    return n;
}

bool DBSource::FieldName(int index, std::string& out) const {
    if (index < 0 || static_cast<size_t>(index) >= fieldNames_.size()) return false;
    out = fieldNames_[static_cast<size_t>(index)];
    return true;
}

// ------------------------------------------------------------------ row set

void DBSource::ReleaseCommand() {
    if (command_ && paramAccessor_) {
        win::ComPtr<IAccessor> accessor;
        if (SUCCEEDED(command_.As(accessor, IID_IAccessor))) accessor->ReleaseAccessor(paramAccessor_, nullptr);
    }
    paramAccessor_ = 0;
    command_.reset();
}

void DBSource::ReleaseRowBufferObjects() {
    if (!holdsObjects_) return;
    for (BoundColumn& c : columns_) {
        if (c.ownsBstr) {
            BSTR b;
            std::memcpy(&b, ValueOf(c), sizeof b);
            SysFreeString(b);
            std::memset(ValueOf(c), 0, sizeof b);
            c.ownsBstr = false;
        }
        if (c.asStream) {
            IUnknown* s;
            std::memcpy(&s, ValueOf(c), sizeof s);
            if (s) s->Release();
            std::memset(ValueOf(c), 0, sizeof s);
        }
    }
}

void DBSource::ReleaseStreams() {
    // A stream the caller never read still pins the row; providers may refuse
    // to move while a storage object is open.
    if (!holdsObjects_) return;
    for (BoundColumn& c : columns_) {
        if (!c.asStream) continue;
        IUnknown* s;
        std::memcpy(&s, ValueOf(c), sizeof s);
        if (s) s->Release();
        std::memset(ValueOf(c), 0, sizeof s);
    }
}

void DBSource::TakeRowBufferObjects() {
    if (!holdsObjects_) return;
    for (BoundColumn& c : columns_) {
        if (c.info.wType != DBTYPE_BSTR && !c.asStream) continue;
        void* p;
        std::memcpy(&p, ValueOf(c), sizeof p);
        if (!IsReadStatus(StatusOf(c))) {
            // Without a value the place holds nothing the provider gave us.
            std::memset(ValueOf(c), 0, sizeof p);
            continue;
        }
        if (c.info.wType == DBTYPE_BSTR) c.ownsBstr = p != nullptr;
    }
}

void DBSource::ReleaseCurrentRow() {
    if (currentRow_ && rowset_) rowset_->ReleaseRows(1, &currentRow_, nullptr, nullptr, nullptr);
    currentRow_ = 0;
}

void DBSource::ReleaseRowSetResources() {
    if (!buffer_.empty()) ReleaseRowBufferObjects();
    if (rowset_ && !accessors_.empty()) {
        win::ComPtr<IAccessor> accessor;
        if (SUCCEEDED(rowset_.As(accessor, IID_IAccessor)))
            for (const AccessorEntry& a : accessors_) accessor->ReleaseAccessor(a.handle, nullptr);
    }
    accessors_.clear();
    columns_.clear();
    holdsObjects_ = false;
    byOrdinal_.clear();
    CoTaskMemFree(nameStorage_);
    nameStorage_ = nullptr;
    std::vector<unsigned char>().swap(buffer_);
    ReleaseCurrentRow();
    rowsetChange_.reset();
    rowset_.reset();
}

int DBSource::OpenRowSet(const char* command) {
    return OpenWithProperties(command, PlainOpenProperties(), OpenKind::Plain);
}

int DBSource::OpenRowSetWithModes(const char* command, int cursorKind, int lockMode) {
    return OpenWithProperties(command, ModesOpenProperties(cursorKind, lockMode), OpenKind::WithModes);
}

int DBSource::OpenWithProperties(const char* command, const std::vector<PropSpec>& specs, OpenKind kind) {
    if (rowset_ || rowsetOpen_) ReleaseRowSetResources();
    if (!connectionOpen_) {
        rowsetOpen_ = 0;
        return 0;
    }

    std::vector<DBPROP> props(specs.size());
    for (size_t i = 0; i < specs.size(); ++i) {
        DBPROP& p = props[i];
        std::memset(&p, 0, sizeof p);  // also makes colid DB_NULLID
        p.dwPropertyID = specs[i].id;
        p.dwOptions = DBPROPOPTIONS_REQUIRED;
        VariantInit(&p.vValue);
        if (specs[i].isInt) {
            p.vValue.vt = VT_I4;
            p.vValue.lVal = specs[i].value;
        } else {
            p.vValue.vt = VT_BOOL;
            p.vValue.boolVal = specs[i].value ? VARIANT_TRUE : VARIANT_FALSE;
        }
    }
    DBPROPSET set;
    set.rgProperties = props.data();
    set.cProperties = static_cast<ULONG>(props.size());
    set.guidPropertySet = guid::kPropsetRowset;

    ReleaseCommand();
    HRESULT hr = E_FAIL;
    win::ComPtr<IDBCreateCommand> creator;
    if (session_) hr = session_.As(creator, IID_IDBCreateCommand);
    if (SUCCEEDED(hr)) {
        win::ComPtr<IUnknown> unk;
        hr = creator->CreateCommand(nullptr, IID_ICommand, unk.put());
        if (SUCCEEDED(hr) && unk) command_ = TakeAs<ICommand>(unk);
        else if (SUCCEEDED(hr)) hr = E_FAIL;
    }
    if (SUCCEEDED(hr)) {
        win::ComPtr<ICommandText> text;
        hr = command_.As(text, IID_ICommandText);
        if (SUCCEEDED(hr)) {
            const std::wstring wide = command ? win::FromAnsi(command) : std::wstring();
            hr = text->SetCommandText(guid::kDialectDefault, wide.c_str());
        }
    }
    if (SUCCEEDED(hr)) {
        win::ComPtr<ICommandProperties> cp;
        hr = command_.As(cp, IID_ICommandProperties);
        if (SUCCEEDED(hr)) hr = cp->SetProperties(1, &set);
    }
    if (SUCCEEDED(hr)) {
        win::ComPtr<IUnknown> unk;
        DBROWCOUNT affected = 0;
        hr = command_->Execute(nullptr, IID_IRowset, nullptr, &affected, unk.put());
        if (hr == S_OK && unk) {
            rowset_ = TakeAs<IRowset>(unk);
            rowset_.As(rowsetChange_, IID_IRowsetChange);
        } else if (hr == S_OK) {
            hr = E_FAIL;
        }
    }
    for (DBPROP& p : props) VariantClear(&p.vValue);
    if (hr != S_OK) {
        ReleaseRowSetResources();
        rowsetOpen_ = 0;
        return 0;
    }

    win::ComPtr<IColumnsInfo> info;
    if (SUCCEEDED(rowset_.As(info, IID_IColumnsInfo))) BindColumns(info.get(), kind);
    rowsetOpen_ = 1;
    return 1;
}

void DBSource::BindColumns(IColumnsInfo* info, OpenKind kind) {
    DBORDINAL count = 0;
    DBCOLUMNINFO* infos = nullptr;
    OLECHAR* names = nullptr;
    if (FAILED(info->GetColumnInfo(&count, &infos, &names))) {
        CoTaskMemFree(infos);
        CoTaskMemFree(names);
        return;
    }
    nameStorage_ = names;
    size_t off = 0;
    DBORDINAL maxOrdinal = 0;
    for (DBORDINAL i = 0; i < count; ++i) {
        const DBCOLUMNINFO& ci = infos[i];
        const BindDecision d = DecideBinding(ci.wType, static_cast<uint32_t>(ci.ulColumnSize), ci.dwFlags, kind);
        if (d.skip) continue;
        BoundColumn c{};
        c.info = ci;
        c.providerType = ci.wType;
        c.info.wType = d.type;
        c.info.ulColumnSize = d.size;
        c.asStream = d.asStream;
        const ColumnPlace place = PlaceColumn(off, d.size);
        c.valueOff = place.value;
        c.lengthOff = place.length;
        c.statusOff = place.status;
        if (c.asStream || c.info.wType == DBTYPE_BSTR) holdsObjects_ = true;
        columns_.push_back(c);
        maxOrdinal = std::max(maxOrdinal, ci.iOrdinal);
    }
    CoTaskMemFree(infos);  // the names stay: the entries point into them
    buffer_.assign(std::max<size_t>(off, 1), 0);
    byOrdinal_.assign(columns_.empty() ? 0 : maxOrdinal + 1, -1);
    for (size_t i = 0; i < columns_.size(); ++i) byOrdinal_[columns_[i].info.iOrdinal] = static_cast<int>(i);

    std::vector<DBBINDING> bindings(columns_.size());
    DBOBJECT streamObject;
    streamObject.dwFlags = STGM_READ;
    streamObject.iid = IID_ISequentialStream;
    for (size_t i = 0; i < columns_.size(); ++i) {
        const BoundColumn& c = columns_[i];
        DBBINDING& b = bindings[i];
        std::memset(&b, 0, sizeof b);
        b.iOrdinal = c.info.iOrdinal;
        b.obValue = c.valueOff;
        b.obLength = c.lengthOff;
        b.obStatus = c.statusOff;
        b.pObject = c.asStream ? &streamObject : nullptr;
        b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
        b.dwMemOwner = (c.info.wType & DBTYPE_BYREF) ? DBMEMOWNER_PROVIDEROWNED : DBMEMOWNER_CLIENTOWNED;
        b.eParamIO = DBPARAMIO_NOTPARAM;
        b.cbMaxLen = c.info.ulColumnSize;
        b.wType = c.info.wType;
        b.bPrecision = c.info.bPrecision;
        b.bScale = c.info.bScale;
    }
    win::ComPtr<IAccessor> accessor;
    if (FAILED(rowset_.As(accessor, IID_IAccessor))) return;
    HACCESSOR handle = 0;
    if (SUCCEEDED(accessor->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(), buffer_.size(),
                                           &handle, nullptr)))
        accessors_.push_back({handle, true});
}

void DBSource::CloseRowSet() {
    if (!rowsetOpen_) return;
    ReleaseRowSetResources();
    rowsetOpen_ = 0;
    bof_ = 0;
    eof_ = 0;
}

HRESULT DBSource::ReadCurrentRow() {
    for (const AccessorEntry& a : accessors_) {
        if (!a.automatic) continue;
        // The fetch overwrites the places: what the last one left there is ours to free.
        ReleaseRowBufferObjects();
        const HRESULT hr = rowset_->GetData(currentRow_, a.handle, buffer_.data());
        TakeRowBufferObjects();
        if (FAILED(hr)) {
            ReleaseCurrentRow();
            return hr;
        }
    }
    return S_OK;
}

HRESULT DBSource::FetchStep(DBROWOFFSET offset) {
    ReleaseStreams();
    ReleaseCurrentRow();
    DBCOUNTITEM got = 0;
    HROW* rows = &currentRow_;
    HRESULT hr = rowset_->GetNextRows(DB_NULL_HCHAPTER, offset, 1, &got, &rows);
    if (got == 0) currentRow_ = 0;
    if (hr == S_OK && currentRow_) hr = ReadCurrentRow();
    return hr;
}

HRESULT DBSource::MoveNext() {
    if (!rowsetOpen_ || !rowset_) return E_FAIL;
    const HRESULT hr = FetchStep(0);
    bof_ = 0;
    eof_ = hr == DB_S_ENDOFROWSET;
    return hr;
}

HRESULT DBSource::MovePrevious() {
    if (!rowsetOpen_ || !rowset_) return E_FAIL;
    const HRESULT hr = FetchStep(-2);
    bof_ = hr == DB_S_ENDOFROWSET;
    eof_ = 0;
    return hr;
}

HRESULT DBSource::MoveFirst() {
    if (!rowsetOpen_ || !rowset_) return E_FAIL;
    ReleaseStreams();
    ReleaseCurrentRow();
    HRESULT hr = rowset_->RestartPosition(DB_NULL_HCHAPTER);
    if (FAILED(hr)) return hr;
    hr = FetchStep(0);
    bof_ = hr == DB_S_ENDOFROWSET;
    eof_ = 0;
    return hr;
}

HRESULT DBSource::MoveLast() {
    if (!rowsetOpen_ || !rowset_) return E_FAIL;
    ReleaseStreams();
    ReleaseCurrentRow();
    rowset_->RestartPosition(DB_NULL_HCHAPTER);
    DBCOUNTITEM got = 0;
    HROW* rows = &currentRow_;
    const HRESULT hr = rowset_->GetNextRows(DB_NULL_HCHAPTER, -1, 1, &got, &rows);
    if (got == 0) currentRow_ = 0;
    if (hr == S_OK && currentRow_) ReadCurrentRow();
    bof_ = 0;
    eof_ = hr == DB_S_ENDOFROWSET;
    return hr;
}

HRESULT DBSource::MoveBy(LONG skip) {
    if (!rowsetOpen_ || !rowset_) return E_FAIL;
    const HRESULT hr = FetchStep(skip);
    bof_ = 0;
    eof_ = hr == DB_S_ENDOFROWSET;
    return hr;
}

int DBSource::ColumnCount() const {
    if (!rowsetOpen_) return 0;
    // Only the bookmark is left out: a row set opened without bookmarks
    // (a dynamic cursor) has none, and all its columns count.
    int n = 0;
    for (const BoundColumn& c : columns_)
        if (c.info.iOrdinal != 0) ++n;
    return n;
}

DBSource::BoundColumn* DBSource::FindColumn(int ordinal) {
    if (ordinal < 0 || static_cast<size_t>(ordinal) >= byOrdinal_.size()) return nullptr;
    const int i = byOrdinal_[static_cast<size_t>(ordinal)];
    return i < 0 ? nullptr : &columns_[static_cast<size_t>(i)];
}

const DBSource::BoundColumn* DBSource::FindColumn(int ordinal) const {
    return const_cast<DBSource*>(this)->FindColumn(ordinal);
}

bool DBSource::ColumnName(int column, std::string& out) const {
    out.clear();
    const BoundColumn* c = FindColumn(column);
    if (!c || !c->info.pwszName) return false;
    out = win::ToAnsi(c->info.pwszName);
    return true;
}

int DBSource::ColumnType(int column) const {
    if (!rowsetOpen_) return -1;
    const BoundColumn* c = FindColumn(column);
    return c ? static_cast<int>(c->info.wType) : -1;
}

HRESULT DBSource::SendRow() {
    if (!rowsetChange_) return E_NOINTERFACE;
    // A storage-object column holds the provider's own stream, already read
    // or released: it must not go back.
    std::vector<std::pair<BoundColumn*, DBSTATUS>> saved;
    for (BoundColumn& c : columns_) {
        if (!c.asStream) continue;
        saved.emplace_back(&c, StatusOf(c));
        StatusOf(c) = DBSTATUS_S_IGNORE;
    }
    HRESULT hr = S_OK;
    for (const AccessorEntry& a : accessors_) {
        hr = rowsetChange_->SetData(currentRow_, a.handle, buffer_.data());
        if (FAILED(hr)) break;
    }
    for (auto& [c, status] : saved) StatusOf(*c) = status;
    return hr;
}

int DBSource::InsertRow() {
    if (!rowsetOpen_ || !rowsetChange_) return 0;
    ReleaseCurrentRow();
    if (accessors_.empty()) return 0;
    std::vector<std::pair<BoundColumn*, DBSTATUS>> saved;
    for (BoundColumn& c : columns_) {
        if (!c.asStream) continue;
        saved.emplace_back(&c, StatusOf(c));
        StatusOf(c) = DBSTATUS_S_IGNORE;
    }
    const HRESULT hr = rowsetChange_->InsertRow(DB_NULL_HCHAPTER, accessors_.front().handle, buffer_.data(),
                                                &currentRow_);
    if (FAILED(hr)) currentRow_ = 0;
    for (auto& [c, status] : saved) StatusOf(*c) = status;
    return SUCCEEDED(hr) ? 1 : 0;
}

int DBSource::DeleteRow() {
    if (!rowsetOpen_ || !rowsetChange_) return 0;
    const HRESULT hr = rowsetChange_->DeleteRows(DB_NULL_HCHAPTER, 1, &currentRow_, nullptr);
    return SUCCEEDED(hr) ? 1 : 0;
}

int DBSource::CommitRow() {
    if (!rowsetOpen_ || !rowset_) return 0;
    win::ComPtr<IRowsetUpdate> update;
    if (FAILED(rowset_.As(update, IID_IRowsetUpdate)) || !update) return 0;
    DBROWSTATUS* statuses = nullptr;
    const HRESULT hr = update->Update(DB_NULL_HCHAPTER, 1, &currentRow_, nullptr, nullptr, &statuses);
    CoTaskMemFree(statuses);
    return SUCCEEDED(hr) ? 1 : 0;
}

// ------------------------------------------------------------------- values

bool DBSource::ReadStream(BoundColumn& c, FieldValue& v) {
    ISequentialStream* stream;
    std::memcpy(&stream, ValueOf(c), sizeof stream);
    std::memset(ValueOf(c), 0, sizeof stream);  // read once: the place no longer holds it
    if (c.providerType == DBTYPE_BYTES) {
        if (stream) stream->Release();
        return FvSetText(v, "Binary Data...");
    }
    StreamText text(c.providerType);
    if (stream) {
        unsigned char piece[kStreamPiece];
        for (;;) {
            ULONG got = 0;
            const HRESULT hr = stream->Read(piece, kStreamPiece, &got);
            if (FAILED(hr) || got == 0) break;
            text.Add(piece, std::min<ULONG>(got, kStreamPiece));
        }
        stream->Release();
    }
    return FvSetText(v, text.Finish());
}

bool DBSource::ReadColumn(int column, FieldValue& v) {
    BoundColumn* c = FindColumn(column);
    if (!c || buffer_.empty()) return false;
    const ColumnView view{c->info.wType, c->info.dwFlags, ValueOf(*c), static_cast<uint32_t>(c->info.ulColumnSize)};
    switch (DecodeWithStatus(view, StatusOf(*c), v)) {
    case Decoded::Value:
        return true;
    case Decoded::Stream:
        return ReadStream(*c, v);
    default:
        return false;
    }
}

namespace {

// UTF-16 to ANSI straight into a caller buffer that holds the whole text.
void WriteAnsi(const wchar_t* w, size_t n, char* out) {
    // Every ANSI code page keeps the ASCII range as it is.
    size_t i = 0;
    while (i < n && w[i] < 0x80) {
        out[i] = static_cast<char>(w[i]);
        ++i;
    }
    if (i == n) {
        out[n] = '\0';
        return;
    }
    int written = 0;
    if (n > 0)
        written = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(n), out, static_cast<int>(n * 4), nullptr,
                                      nullptr);
    out[written > 0 ? written : 0] = '\0';
}

} // namespace

bool DBSource::ReadColumnText(int column, char* out) {
    BoundColumn* c = FindColumn(column);
    if (!c || buffer_.empty()) return false;
    const DBSTATUS status = StatusOf(*c);
    const unsigned char* place = ValueOf(*c);
    const size_t size = c->info.ulColumnSize;
    // Text columns go straight from the row buffer to the caller.
    if (status != DBSTATUS_S_ISNULL && status != kStatusCantCreate) {
        switch (c->info.wType) {
        case DBTYPE_STR:
            if (!(c->info.dwFlags & DBCOLUMNFLAGS_ISLONG)) {
                const size_t n = strnlen(reinterpret_cast<const char*>(place), size);
                std::memcpy(out, place, n);
                out[n] = '\0';
                return true;
            }
            break;
        case DBTYPE_WSTR: {
            const wchar_t* w = reinterpret_cast<const wchar_t*>(place);
            WriteAnsi(w, wcsnlen(w, size / 2), out);
            return true;
        }
        case DBTYPE_BSTR: {
            const wchar_t* b;
            std::memcpy(&b, place, sizeof b);
            WriteAnsi(b, b ? wcslen(b) : 0, out);
            return true;
        }
        case DBTYPE_I2:
        case DBTYPE_BOOL: {
            SHORT x;
            std::memcpy(&x, place, sizeof x);
            out[FormatInteger<int>(x, out)] = '\0';
            return true;
        }
        case DBTYPE_I4:
        case DBTYPE_ERROR: {
            LONG x;
            std::memcpy(&x, place, sizeof x);
            out[FormatInteger<int>(x, out)] = '\0';
            return true;
        }
        case DBTYPE_R8: {
            double x;
            std::memcpy(&x, place, sizeof x);
            out[FormatReal(CleanReal(x), out)] = '\0';
            return true;
        }
        case DBTYPE_CY: {
            LONGLONG x;
            std::memcpy(&x, place, sizeof x);
            out[FormatReal(static_cast<double>(x) * 0.0001, out)] = '\0';
            return true;
        }
        case DBTYPE_DBTIMESTAMP: {
            DBTIMESTAMP ts;
            std::memcpy(&ts, place, sizeof ts);
            const DateParts p{ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second};
            // Valid parts print as they are; the rest takes the general road.
            if (ValidDateTimeParts(p) && p.year >= 100) {
                out[FormatDateParts(p, true, true, out)] = '\0';
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    FieldValue v{};
    if (!ReadColumn(column, v)) {
        FvClear(v);
        return false;
    }
    char buf[kFormatBufferSize];
    const int n = FvFormat(v, buf);
    if (n >= 0) {
        std::memcpy(out, buf, static_cast<size_t>(n));
        out[n] = '\0';
    } else if (v.kind == kText) {
        const std::string_view text = FvText(v);
        std::memcpy(out, text.data(), text.size());
        out[text.size()] = '\0';
    }
    FvClear(v);
    return true;
}

bool DBSource::SkipAndRead(int column, int rows, FieldValue& v) {
    if (column > static_cast<int>(columns_.size()) || !rowset_) return false;
    const int bound = static_cast<int>(columns_.size());
    for (int fetched = 0;;) {
        if (FetchStep(0) != S_OK) return false;
        ++fetched;
        const bool last = fetched == rows;
        // Reading drains each row's streams before the next fetch; on the
        // last row the wanted column is left for the read below, since a
        // stream can be read only once.
        for (int k = 1; k <= bound; ++k) {
            if (last && k == column) continue;
            if (!FindColumn(k)) continue;
            FieldValue scratch{};
            ReadColumn(k, scratch);
            FvClear(scratch);
        }
        if (last) break;
    }
    return ReadColumn(column, v);
}

HRESULT DBSource::WriteText(int column, const char* text) {
    if (!rowsetOpen_ || !rowset_) return E_FAIL;
    const std::wstring wide = text ? win::FromAnsi(text) : std::wstring();
    if (BoundColumn* c = FindColumn(column)) {
        const DBSTATUS status = wide.empty() ? DBSTATUS_S_DEFAULT : DBSTATUS_S_OK;
        unsigned char* place = ValueOf(*c);
        const size_t size = c->info.ulColumnSize;
        switch (c->info.wType) {
        case DBTYPE_WSTR: {
            const size_t room = size / 2 > 0 ? size / 2 - 1 : 0;
            const size_t n = std::min(wide.size(), room);
            std::memset(place, 0, size);
            std::memcpy(place, wide.data(), n * 2);
            LengthOf(*c) = n * 2;
            StatusOf(*c) = status;
            break;
        }
        case DBTYPE_BSTR: {
            BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
            if (!b) return E_OUTOFMEMORY;
            if (c->ownsBstr) {
                BSTR old;
                std::memcpy(&old, place, sizeof old);
                SysFreeString(old);
            }
            std::memcpy(place, &b, sizeof b);
            c->ownsBstr = true;
            LengthOf(*c) = sizeof b;
            StatusOf(*c) = status;
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
            LengthOf(*c) = n;
            StatusOf(*c) = status;
            break;
        }
        default:
            break;
        }
    }
    return SendRow();
}

HRESULT DBSource::WriteReal(int column, double x) {
    if (!rowsetOpen_ || !rowset_) return E_FAIL;
    if (BoundColumn* c = FindColumn(column)) {
        VARIANT src;
        VariantInit(&src);
        src.vt = VT_R8;
        src.dblVal = x;
        StatusOf(*c) = DBSTATUS_S_OK;
        VARTYPE target = VT_EMPTY;
        switch (c->info.wType) {
        case DBTYPE_I2: target = VT_I2; break;
        case DBTYPE_I4: target = VT_I4; break;
        case DBTYPE_R4: target = VT_R4; break;
        case DBTYPE_R8: target = VT_R8; break;
        case DBTYPE_CY: target = VT_CY; break;
        case DBTYPE_DATE: target = VT_DATE; break;
        case DBTYPE_BOOL: target = VT_BOOL; break;
        case DBTYPE_DECIMAL: target = VT_DECIMAL; break;
        case DBTYPE_I1: target = VT_I1; break;
        case DBTYPE_UI1: target = VT_UI1; break;
        case DBTYPE_UI2: target = VT_UI2; break;
        case DBTYPE_UI4: target = VT_UI4; break;
        case DBTYPE_DBTIMESTAMP: target = VT_DATE; break;
        default: break;
        }
        if (target != VT_EMPTY) {
            VARIANT dst;
            VariantInit(&dst);
            const HRESULT hr = VariantChangeType(&dst, &src, 0, target);
            if (FAILED(hr)) return hr;
            unsigned char* place = ValueOf(*c);
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
            LengthOf(*c) = c->info.ulColumnSize;
        }
    }
    return SendRow();
}

} // namespace rowgate
