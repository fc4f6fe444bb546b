#include "column_decode.h"

#include <cstring>

#include "win/strings.h"

namespace rowgate {
namespace {

template <typename T>
T Load(const unsigned char* p) {
    T x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

// UTF-16 text of at most maxUnits units, up to its terminator. Provider data
// is UTF-16 whatever the width of this compiler's wchar_t.
std::u16string WideAt(const unsigned char* p, size_t maxUnits) {
    std::u16string w;
    for (size_t i = 0; i < maxUnits; ++i) {
        const char16_t c = Load<char16_t>(p + i * 2);
        if (c == 0) break;
        w.push_back(c);
    }
    return w;
}

std::string AnsiOf(const std::u16string& w) { return win::ToAnsi(std::wstring(w.begin(), w.end())); }

bool SetAnsiFromWide(FieldValue& v, const std::u16string& w) { return FvSetText(v, AnsiOf(w)); }

double NumericValue(const unsigned char* p) {
    // precision, scale, sign (1 positive, 0 negative), 16-byte magnitude
    const uint8_t scale = p[1];
    const uint8_t sign = p[2];
    double x = static_cast<double>(Load<int64_t>(p + 3));
    for (unsigned i = 0; i < scale; ++i) x *= 0.1;
    return sign == 0 ? -x : x;
}

} // namespace

Decoded DecodeColumn(const ColumnView& col, FieldValue& v) {
    const unsigned char* p = col.place;
    switch (col.boundType) {
    case dbtype::kNull:
        FvClear(v);
        return Decoded::Failed;
    case dbtype::kI2:
        FvSetShort(v, Load<int16_t>(p), false);
        break;
    case dbtype::kI4:
    case dbtype::kError:
        FvSetLong(v, Load<int32_t>(p), false);
        break;
    case dbtype::kR4:
        FvSetDouble(v, kReal, CleanReal(Load<float>(p)));
        break;
    case dbtype::kR8:
        FvSetDouble(v, kReal, CleanReal(Load<double>(p)));
        break;
    case dbtype::kCy:
        FvSetDouble(v, kCurrency, static_cast<double>(Load<int64_t>(p)) * 0.0001);
        break;
    case dbtype::kDate:
        FvSetDouble(v, kDate, Load<double>(p));
        break;
    case dbtype::kBstr: {
        const char16_t* b = Load<const char16_t*>(p);
        SetAnsiFromWide(v, b ? std::u16string(b) : std::u16string());
        break;
    }
    case dbtype::kBool:
        FvSetShort(v, Load<int16_t>(p), false);
        break;
    case dbtype::kIUnknown:
        return Decoded::Stream;
    case dbtype::kI1:
        FvSetShort(v, static_cast<int8_t>(p[0]), false);
        break;
    case dbtype::kUI1:
        FvSetShort(v, p[0], true);
        break;
    case dbtype::kUI2:
        FvSetShort(v, Load<int16_t>(p), true);
        break;
    case dbtype::kUI4:
        FvSetLong(v, Load<int32_t>(p), true);
        break;
    case dbtype::kUI8:
        FvSetDouble(v, kReal, static_cast<double>(Load<uint64_t>(p)));
        break;
    case dbtype::kGuid:
        FvSetGuidHead(v, Load<int32_t>(p));
        break;
    case dbtype::kBytes:
        FvSetText(v, " Binary Data...");
        break;
    case dbtype::kStr:
        if (col.columnFlags & kColumnFlagIsLong) {
            FvSetText(v, "Binary Data...");
        } else {
            const void* end = std::memchr(p, 0, col.placeSize);
            const size_t n = end ? static_cast<const unsigned char*>(end) - p : col.placeSize;
            FvSetText(v, std::string_view(reinterpret_cast<const char*>(p), n));
        }
        break;
    case dbtype::kWStr:
        SetAnsiFromWide(v, WideAt(p, col.placeSize / 2));
        break;
    case dbtype::kNumeric:
        FvSetDouble(v, kReal, NumericValue(p));
        break;
    case dbtype::kDbDate:
        FvSetDouble(v, kDate, EncodeOleDate(Load<int16_t>(p), Load<uint16_t>(p + 2), Load<uint16_t>(p + 4)));
        break;
    case dbtype::kDbTime:
        FvSetDouble(v, kTime, EncodeOleTime(Load<uint16_t>(p), Load<uint16_t>(p + 2), Load<uint16_t>(p + 4)));
        break;
    case dbtype::kDbTimestamp:
        FvSetDouble(v, kDateTime,
                    EncodeOleDateTime(Load<int16_t>(p), Load<uint16_t>(p + 2), Load<uint16_t>(p + 4),
                                      Load<uint16_t>(p + 6), Load<uint16_t>(p + 8), Load<uint16_t>(p + 10)));
        break;
    default:
        return Decoded::Failed;
    }
    return Decoded::Value;
}

Decoded DecodeWithStatus(const ColumnView& col, uint32_t status, FieldValue& v) {
    if (status == kStatusIsNull) {
        FvSetText(v, "<NULL>");
        return Decoded::Value;
    }
    if (status == kStatusCantCreate) {
        FvSetNull(v);
        return Decoded::Value;
    }
    return DecodeColumn(col, v);
}

void StreamText::Add(const unsigned char* data, size_t n) {
    if (narrow_) {
        out_.append(reinterpret_cast<const char*>(data), n);
        return;
    }
    size_t i = 0;
    if (oddByte_ >= 0 && n > 0) {
        pending_.push_back(static_cast<char16_t>(oddByte_ | (data[0] << 8)));
        oddByte_ = -1;
        i = 1;
    }
    for (; i + 1 < n; i += 2) pending_.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    if (i < n) oddByte_ = data[i];
}

std::string StreamText::Finish() {
    if (!narrow_) {
        const size_t z = pending_.find(u'\0');
        if (z != std::u16string::npos) pending_.resize(z);
        out_ = AnsiOf(pending_);
        pending_.clear();
    }
    const size_t z = out_.find('\0');
    if (z != std::string::npos) out_.resize(z);
    return std::move(out_);
}

} // namespace rowgate
