// Binding a row set's columns into one row buffer, fetching rows into it and
// sending it back, with everything the buffer pins owned by it.
#include "row_buffer.h"

#include <algorithm>
#include <utility>

namespace rowgate {

static_assert(sizeof(DBLENGTH) == kLengthBytes && alignof(DBLENGTH) <= kLengthBytes);
static_assert(sizeof(DBSTATUS) == kStatusBytes);

namespace {

bool IsReadStatus(DBSTATUS s) { return s == DBSTATUS_S_OK || s == DBSTATUS_S_TRUNCATED; }

} // namespace

// ------------------------------------------------------------------ accessor

Accessor::Accessor(Accessor&& o) noexcept
    : owner_(std::move(o.owner_)), handle_(std::exchange(o.handle_, 0)) {}

Accessor& Accessor::operator=(Accessor&& o) noexcept {
    if (this != &o) {
        Reset();
        owner_ = std::move(o.owner_);
        handle_ = std::exchange(o.handle_, 0);
    }
    return *this;
}

HRESULT Accessor::Create(IUnknown* rowset, const std::vector<DBBINDING>& bindings, size_t rowBytes) {
    Reset();
    if (!rowset) return E_POINTER;
    win::ComPtr<IAccessor> owner;
    HRESULT hr = rowset->QueryInterface(IID_IAccessor, owner.put_void());
    if (FAILED(hr)) return hr;
    HACCESSOR handle = 0;
    hr = owner->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(), rowBytes, &handle, nullptr);
    if (FAILED(hr)) return hr;
    owner_ = std::move(owner);
    handle_ = handle;
    return hr;
}

void Accessor::Reset() noexcept {
    if (handle_ && owner_) owner_->ReleaseAccessor(handle_, nullptr);
    handle_ = 0;
    owner_.reset();
}

// ---------------------------------------------------------------- ownership

RowBuffer::RowBuffer(RowBuffer&& o) noexcept
    : rowset_(std::move(o.rowset_)),
      columns_(std::move(o.columns_)),
      byOrdinal_(std::move(o.byOrdinal_)),
      holdsObjects_(std::exchange(o.holdsObjects_, false)),
      names_(std::move(o.names_)),
      bytes_(std::move(o.bytes_)),
      accessor_(std::move(o.accessor_)),
      row_(std::exchange(o.row_, 0)) {
    o.columns_.clear();
    o.byOrdinal_.clear();
    o.bytes_.clear();
}

RowBuffer& RowBuffer::operator=(RowBuffer&& o) noexcept {
    if (this != &o) {
        Release();
        rowset_ = std::move(o.rowset_);
        columns_ = std::move(o.columns_);
        byOrdinal_ = std::move(o.byOrdinal_);
        holdsObjects_ = std::exchange(o.holdsObjects_, false);
        names_ = std::move(o.names_);
        bytes_ = std::move(o.bytes_);
        accessor_ = std::move(o.accessor_);
        row_ = std::exchange(o.row_, 0);
        o.columns_.clear();
        o.byOrdinal_.clear();
        o.bytes_.clear();
    }
    return *this;
}

void RowBuffer::Release() noexcept {
    if (!bytes_.empty()) ReleaseObjects();
    accessor_.Reset();
    columns_.clear();
    holdsObjects_ = false;
    byOrdinal_.clear();
    names_.reset();
    std::vector<unsigned char>().swap(bytes_);
    ReleaseRow();
    rowset_.reset();
}

void RowBuffer::ReleaseObjects() noexcept {
    if (!holdsObjects_) return;
    for (Column& c : columns_) {
        if (c.ownsBstr) {
            const win::UniqueBstr old(Load<BSTR>(c.place.value));
            Store<BSTR>(c.place.value, nullptr);
            c.ownsBstr = false;
        }
        if (c.asStream) TakeStream(c);  // released as it goes
    }
}

void RowBuffer::ReleaseStreams() noexcept {
    if (!holdsObjects_) return;
    for (const Column& c : columns_)
        if (c.asStream) TakeStream(c);  // released as it goes
}

void RowBuffer::AdoptObjects() noexcept {
    if (!holdsObjects_) return;
    for (Column& c : columns_) {
        if (c.info.wType != DBTYPE_BSTR && !c.asStream) continue;
        if (!IsReadStatus(Status(c))) {
            // Without a value the place holds nothing the provider gave us.
            Store<void*>(c.place.value, nullptr);
            continue;
        }
        if (c.info.wType == DBTYPE_BSTR) c.ownsBstr = Load<void*>(c.place.value) != nullptr;
    }
}

void RowBuffer::PutBstr(Column& c, win::UniqueBstr b) noexcept {
    const win::UniqueBstr old(c.ownsBstr ? Load<BSTR>(c.place.value) : nullptr);
    Store<BSTR>(c.place.value, b.release());
    c.ownsBstr = true;
    holdsObjects_ = true;
}

win::ComPtr<ISequentialStream> RowBuffer::TakeStream(const Column& c) noexcept {
    auto stream = win::ComPtr<ISequentialStream>::Attach(Load<ISequentialStream*>(c.place.value));
    Store<void*>(c.place.value, nullptr);
    return stream;
}

// ------------------------------------------------------------------- binding

void RowBuffer::Bind(IColumnsInfo* info, OpenKind kind) {
    DBORDINAL count = 0;
    win::UniqueCoTaskMem<DBCOLUMNINFO> infos;
    win::UniqueCoTaskMem<OLECHAR> names;
    if (FAILED(info->GetColumnInfo(&count, infos.put(), names.put()))) return;
    names_ = std::move(names);  // the column entries point into the names
    size_t rowBytes = 0;
    DBORDINAL maxOrdinal = 0;
    for (DBORDINAL i = 0; i < count; ++i) {
        const DBCOLUMNINFO& ci = infos.get()[i];
        const BindDecision d = DecideBinding(ci.wType, static_cast<uint32_t>(ci.ulColumnSize), ci.dwFlags, kind);
        if (d.skip) continue;
        Column c{};
        c.info = ci;
        c.providerType = ci.wType;
        c.info.wType = d.type;
        c.info.ulColumnSize = d.size;
        c.asStream = d.asStream;
        c.place = PlaceColumn(rowBytes, d.size);
        if (c.asStream || c.info.wType == DBTYPE_BSTR) holdsObjects_ = true;
        columns_.push_back(c);
        maxOrdinal = std::max(maxOrdinal, ci.iOrdinal);
    }
    bytes_.assign(std::max<size_t>(rowBytes, 1), 0);
    byOrdinal_.assign(columns_.empty() ? 0 : maxOrdinal + 1, -1);
    for (size_t i = 0; i < columns_.size(); ++i) byOrdinal_[columns_[i].info.iOrdinal] = static_cast<int>(i);

    std::vector<DBBINDING> bindings(columns_.size());
    DBOBJECT streamObject;
    streamObject.dwFlags = STGM_READ;
    streamObject.iid = IID_ISequentialStream;
    for (size_t i = 0; i < columns_.size(); ++i) {
        const Column& c = columns_[i];
        DBBINDING& b = bindings[i];
        std::memset(&b, 0, sizeof b);
        b.iOrdinal = c.info.iOrdinal;
        b.obValue = c.place.value;
        b.obLength = c.place.length;
        b.obStatus = c.place.status;
        b.pObject = c.asStream ? &streamObject : nullptr;
        b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
        b.dwMemOwner = (c.info.wType & DBTYPE_BYREF) ? DBMEMOWNER_PROVIDEROWNED : DBMEMOWNER_CLIENTOWNED;
        b.eParamIO = DBPARAMIO_NOTPARAM;
        b.cbMaxLen = c.info.ulColumnSize;
        b.wType = c.info.wType;
        b.bPrecision = c.info.bPrecision;
        b.bScale = c.info.bScale;
    }
    accessor_.Create(rowset_.get(), bindings, bytes_.size());
}

// ------------------------------------------------------------------ fetching

void RowBuffer::ReleaseRow() noexcept {
    if (row_ && rowset_) rowset_->ReleaseRows(1, &row_, nullptr, nullptr, nullptr);
    row_ = 0;
}

HRESULT RowBuffer::NextRow(DBROWOFFSET offset) noexcept {
    ReleaseStreams();
    ReleaseRow();
    DBCOUNTITEM got = 0;
    HROW* rows = &row_;
    const HRESULT hr = rowset_->GetNextRows(DB_NULL_HCHAPTER, offset, 1, &got, &rows);
    if (got == 0) row_ = 0;
    return hr;
}

HRESULT RowBuffer::ReadRow() noexcept {
    if (!accessor_) return S_OK;
    // The fetch overwrites the places: what the last one left there is ours to free.
    ReleaseObjects();
    const HRESULT hr = rowset_->GetData(row_, accessor_.Get(), bytes_.data());
    AdoptObjects();
    if (FAILED(hr)) ReleaseRow();
    return FAILED(hr) ? hr : S_OK;
}

// ------------------------------------------------------------------- sending

template <typename F>
HRESULT RowBuffer::WithStreamsIgnored(F&& f) noexcept {
    std::vector<std::pair<const Column*, DBSTATUS>> saved;
    try {
        for (const Column& c : columns_)
            if (c.asStream) saved.emplace_back(&c, Status(c));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    for (auto& [c, status] : saved) SetStatus(*c, DBSTATUS_S_IGNORE);
    const HRESULT hr = f();
    for (auto& [c, status] : saved) SetStatus(*c, status);
    return hr;
}

HRESULT RowBuffer::SendTo(IRowsetChange* change) noexcept {
    return WithStreamsIgnored([&] {
        HRESULT hr = S_OK;
        if (accessor_) hr = change->SetData(row_, accessor_.Get(), bytes_.data());
        return hr;
    });
}

HRESULT RowBuffer::InsertInto(IRowsetChange* change) noexcept {
    return WithStreamsIgnored([&] {
        const HRESULT hr = change->InsertRow(DB_NULL_HCHAPTER, accessor_.Get(), bytes_.data(), &row_);
        if (FAILED(hr)) row_ = 0;
        return hr;
    });
}

} // namespace rowgate
