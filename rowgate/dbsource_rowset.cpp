// Running a command into the one row set a DBSource keeps open, moving
// through its rows and describing its columns.
#include "dbsource.h"

#include <oledberr.h>
#include <oleauto.h>

#include <cstring>

#include "com_take.h"
#include "oledb_guids.h"
#include "win/strings.h"

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
    // Integers and booleans need no clearing, but a property that one day
    // holds a string must not leak on any of the paths below.
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
