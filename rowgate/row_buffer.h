// The bound row of an open row set as one owner. A fetch leaves BSTRs and
// storage objects in the buffer, and the accessor and the current row handle
// pin provider resources; a row set ends on many paths (a close, a failed
// open, the connection's close, the handle's end), and one destructor frees
// them all on each.
#pragma once
#include <windows.h>
#include <oledb.h>

#include <cstring>
#include <utility>
#include <vector>

#include "binding.h"
#include "win/handles.h"

namespace rowgate {

// A row accessor, released through the IAccessor that created it.
class Accessor {
public:
    Accessor() = default;
    Accessor(const Accessor&) = delete;
    Accessor& operator=(const Accessor&) = delete;
    Accessor(Accessor&& o) noexcept;
    Accessor& operator=(Accessor&& o) noexcept;
    ~Accessor() { Reset(); }

    // Asks the row set behind `rowset` for a row-data accessor over the
    // bindings; on failure the accessor stays empty and the error comes back.
    HRESULT Create(IUnknown* rowset, const std::vector<DBBINDING>& bindings, size_t rowBytes);
    HACCESSOR Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != 0; }
    void Reset() noexcept;

private:
    win::ComPtr<IAccessor> owner_;
    HACCESSOR handle_ = 0;
};

class RowBuffer {
public:
    struct Column {
        DBCOLUMNINFO info;    // type and size as bound; the name points into the buffer's name block
        DBTYPE providerType;  // as the provider reported it
        bool asStream;
        bool ownsBstr;  // the place holds a BSTR this buffer must free
        ColumnPlace place;
    };

    RowBuffer() = default;
    // A buffer of the row set, holding no columns until Bind.
    explicit RowBuffer(win::ComPtr<IRowset> rowset) noexcept : rowset_(std::move(rowset)) {}
    RowBuffer(const RowBuffer&) = delete;
    RowBuffer& operator=(const RowBuffer&) = delete;
    RowBuffer(RowBuffer&& o) noexcept;
    RowBuffer& operator=(RowBuffer&& o) noexcept;
    ~RowBuffer() { Release(); }

    // Binds the columns the provider reports, as DecideBinding chooses, with
    // one accessor. A provider that describes no columns leaves the buffer
    // without any; one that refuses the accessor leaves it without one.
    void Bind(IColumnsInfo* info, OpenKind kind);

    // The column of an ordinal, or null when it is not bound.
    Column* Find(int ordinal) noexcept {
        if (ordinal < 0 || static_cast<size_t>(ordinal) >= byOrdinal_.size()) return nullptr;
        const int i = byOrdinal_[static_cast<size_t>(ordinal)];
        return i < 0 ? nullptr : &columns_[static_cast<size_t>(i)];
    }
    const Column* Find(int ordinal) const noexcept { return const_cast<RowBuffer*>(this)->Find(ordinal); }
    const std::vector<Column>& Columns() const noexcept { return columns_; }
    bool Empty() const noexcept { return bytes_.empty(); }
    bool HasAccessor() const noexcept { return static_cast<bool>(accessor_); }

    DBSTATUS Status(const Column& c) const noexcept { return Load<DBSTATUS>(c.place.status); }
    void SetStatus(const Column& c, DBSTATUS s) noexcept { Store(c.place.status, s); }
    void SetLength(const Column& c, DBLENGTH n) noexcept { Store(c.place.length, n); }
    unsigned char* Value(const Column& c) noexcept { return bytes_.data() + c.place.value; }
    // Puts a BSTR of our own into a BSTR column's place, freeing the one it
    // replaces; the buffer frees it before the next fetch or when it ends.
    void PutBstr(Column& c, win::UniqueBstr b) noexcept;
    // Takes the storage object out of a stream column's place: a stream can
    // be read only once, and the place must no longer hold it.
    win::ComPtr<ISequentialStream> TakeStream(const Column& c) noexcept;

    // The current row; null when there is none.
    HROW Row() const noexcept { return row_; }
    // Moves `offset` rows from the cursor and fetches the next one as the
    // current row. What the last row left in the buffer goes first: a stream
    // the caller never read still pins the row, and providers may refuse to
    // move while a storage object is open. Does not read the row.
    HRESULT NextRow(DBROWOFFSET offset) noexcept;
    // Reads the current row into the buffer; a row that cannot be read is
    // released.
    HRESULT ReadRow() noexcept;
    void ReleaseRow() noexcept;
    void ReleaseStreams() noexcept;

    // Sends the buffer to the current row, or inserts it as a new current
    // row. A storage-object column holds the provider's own stream, already
    // read or released: it goes with status "ignore", its own status kept.
    HRESULT SendTo(IRowsetChange* change) noexcept;
    HRESULT InsertInto(IRowsetChange* change) noexcept;

private:
    template <typename T>
    T Load(size_t offset) const noexcept {
        T x;
        std::memcpy(&x, bytes_.data() + offset, sizeof x);
        return x;
    }
    template <typename T>
    void Store(size_t offset, const T& x) noexcept {
        std::memcpy(bytes_.data() + offset, &x, sizeof x);
    }
    template <typename F>
    HRESULT WithStreamsIgnored(F&& f) noexcept;
    void ReleaseObjects() noexcept;
    void AdoptObjects() noexcept;
    void Release() noexcept;

    win::ComPtr<IRowset> rowset_;
    std::vector<Column> columns_;
    std::vector<int> byOrdinal_;  // ordinal -> index into columns_, -1 when not bound
    bool holdsObjects_ = false;   // some column's place holds a BSTR or a stream
    win::UniqueCoTaskMem<OLECHAR> names_;
    std::vector<unsigned char> bytes_;
    Accessor accessor_;
    HROW row_ = 0;
};

} // namespace rowgate
