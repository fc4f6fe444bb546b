// Opening and closing a DBSource's connection and handing back its text:
// the only place in rowgate that talks to the data-link and data-initialize
// services.
#include "dbsource.h"

#include <msdasc.h>

#include "com_take.h"
#include "conn_text.h"
#include "oledb_guids.h"
#include "win/strings.h"

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
