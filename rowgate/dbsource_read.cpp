// Reading the current row's values out of the row buffer, as records or as
// text. GetFieldString lands in ReadColumnText once per column of every row,
// so its common types go from the buffer to the caller without a record or
// an allocation.
#include "dbsource.h"

#include <algorithm>
#include <cstring>

#include "column_decode.h"
#include "win/strings.h"

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
