#include "dbsource.h"

#include <msdasc.h>
#include <oledberr.h>
#include <oleauto.h>

#include <algorithm>
#include <cstring>

#include "column_decode.h"
#include "com_take.h"
#include "conn_text.h"
#include "oledb_guids.h"
#include "win/strings.h"

// ------------------------------------------------------------ connection

namespace rowgate {

DBSource::~DBSource() {
    command_.reset();
    ReleaseRowSet();
    connectionText_.clear();
    session_.reset();
    dataSource_.reset();
    connectionOpen_ = 0;
    fieldNames_.clear();
    tableNames_.clear();
}

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
    if (rowset_) ReleaseRowSet();
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
        win::UniqueCoTaskMem<wchar_t> text;
        if (SUCCEEDED(init->GetInitializationString(dataSource_.get(), FALSE, text.put())) && text)
            raw = win::ToAnsi(text.get());
    }
    connectionText_ = FilterConnectionText(raw);
    out = connectionText_;
    return true;
}

} // namespace rowgate

// ---------------------------------------------------------- schema lists

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

// --------------------------------------------------------------- row set

namespace rowgate {

void DBSource::ReleaseRowSet() {
    buffer_ = RowBuffer();
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
    if (rowset_ || rowsetOpen_) ReleaseRowSet();
    if (!connectionOpen_) {
        rowsetOpen_ = 0;
        return 0;
    }

    std::vector<DBPROP> props(specs.size());
    // The values are integers and booleans today; clearing keeps it so if
    // one ever holds something to free.
    const win::ScopeExit clearProps([&] {
        for (DBPROP& p : props) VariantClear(&p.vValue);
    });
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

    command_.reset();
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
    if (hr != S_OK) {
        ReleaseRowSet();
        rowsetOpen_ = 0;
        return 0;
    }

    buffer_ = RowBuffer(rowset_);
    win::ComPtr<IColumnsInfo> info;
    if (SUCCEEDED(rowset_.As(info, IID_IColumnsInfo))) buffer_.Bind(info.get(), kind);
    rowsetOpen_ = 1;
    return 1;
}

void DBSource::CloseRowSet() {
    if (!rowsetOpen_) return;
    ReleaseRowSet();
    rowsetOpen_ = 0;
    bof_ = 0;
    eof_ = 0;
}

HRESULT DBSource::FetchStep(DBROWOFFSET offset) {
    HRESULT hr = buffer_.NextRow(offset);
    if (hr == S_OK && buffer_.Row()) hr = buffer_.ReadRow();
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
    buffer_.ReleaseStreams();
    buffer_.ReleaseRow();
    HRESULT hr = rowset_->RestartPosition(DB_NULL_HCHAPTER);
    if (FAILED(hr)) return hr;
    hr = FetchStep(0);
    bof_ = hr == DB_S_ENDOFROWSET;
    eof_ = 0;
    return hr;
}

HRESULT DBSource::MoveLast() {
    if (!rowsetOpen_ || !rowset_) return E_FAIL;
    buffer_.ReleaseStreams();
    buffer_.ReleaseRow();
    rowset_->RestartPosition(DB_NULL_HCHAPTER);
    const HRESULT hr = buffer_.NextRow(-1);
    if (hr == S_OK && buffer_.Row()) buffer_.ReadRow();
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
    for (const RowBuffer::Column& c : buffer_.Columns())
        if (c.info.iOrdinal != 0) ++n;
    return n;
}

bool DBSource::ColumnName(int column, std::string& out) const {
    out.clear();
    const RowBuffer::Column* c = buffer_.Find(column);
    if (!c || !c->info.pwszName) return false;
    out = win::ToAnsi(c->info.pwszName);
    return true;
}

int DBSource::ColumnType(int column) const {
    if (!rowsetOpen_) return -1;
    const RowBuffer::Column* c = buffer_.Find(column);
    return c ? static_cast<int>(c->info.wType) : -1;
}

} // namespace rowgate

// ---------------------------------------------------------------- values

namespace rowgate {

bool DBSource::ReadStream(const RowBuffer::Column& c, FieldValue& v) {
    const win::ComPtr<ISequentialStream> stream = buffer_.TakeStream(c);
    if (c.providerType == DBTYPE_BYTES) return FvSetText(v, "Binary Data...");
    StreamText text(c.providerType);
    if (stream) {
        unsigned char piece[kStreamPiece];
        for (;;) {
            ULONG got = 0;
            const HRESULT hr = stream->Read(piece, kStreamPiece, &got);
            if (FAILED(hr) || got == 0) break;
            text.Add(piece, std::min<ULONG>(got, kStreamPiece));
        }
    }
    return FvSetText(v, text.Finish());
}

bool DBSource::ReadColumn(int column, FieldValue& v) {
    RowBuffer::Column* c = buffer_.Find(column);
    if (!c || buffer_.Empty()) return false;
    const ColumnView view{c->info.wType, c->info.dwFlags, buffer_.Value(*c),
                          static_cast<uint32_t>(c->info.ulColumnSize)};
    switch (DecodeWithStatus(view, buffer_.Status(*c), v)) {
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
    // No ANSI code page takes more than four bytes for one UTF-16 unit.
    out[win::ToAnsiInto(w, n, out, n * 4)] = '\0';
}

} // namespace

bool DBSource::ReadColumnText(int column, char* out) {
    RowBuffer::Column* c = buffer_.Find(column);
    if (!c || buffer_.Empty()) return false;
    const DBSTATUS status = buffer_.Status(*c);
    const unsigned char* place = buffer_.Value(*c);
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
    const int bound = static_cast<int>(buffer_.Columns().size());
    if (column > bound || !rowset_) return false;
    for (int fetched = 0;;) {
        if (FetchStep(0) != S_OK) return false;
        ++fetched;
        const bool last = fetched == rows;
        // Reading drains each row's streams before the next fetch; on the
        // last row the wanted column is left for the read below, since a
        // stream can be read only once.
        for (int k = 1; k <= bound; ++k) {
            if (last && k == column) continue;
            if (!buffer_.Find(k)) continue;
            FieldValue scratch{};
            ReadColumn(k, scratch);
            FvClear(scratch);
        }
        if (last) break;
    }
    return ReadColumn(column, v);
}

} // namespace rowgate

// --------------------------------------------- writes and row operations

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
