// Bytes a provider left in a value place, and the pieces of a long column
// read from a stream: whatever they hold, decoding reads only the place
// (at least kMinPlace bytes, as the row layout gives every column) and
// only the text a BSTR points to, keeps text within the place's size, and
// gives integers back with their column's sign.
// Input: a selector byte; for a value place then the type's index, the
// column flags, the status, two bytes of the place's size, the byte that
// fills the place and the place's bytes; for a stream the provider type's
// index, the number of cuts, two bytes for each cut and the stream's bytes.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "rowgate/binding.h"
#include "rowgate/column_decode.h"

using namespace rowgate;

namespace {

const uint16_t kTypes[] = {
    dbtype::kEmpty,  dbtype::kNull,    dbtype::kI2,      dbtype::kI4,       dbtype::kR4,        dbtype::kR8,
    dbtype::kCy,     dbtype::kDate,    dbtype::kBstr,    dbtype::kIDispatch, dbtype::kError,    dbtype::kBool,
    dbtype::kVariant, dbtype::kIUnknown, dbtype::kDecimal, dbtype::kI1,     dbtype::kUI1,       dbtype::kUI2,
    dbtype::kUI4,    dbtype::kI8,      dbtype::kUI8,     dbtype::kGuid,     dbtype::kBytes,     dbtype::kStr,
    dbtype::kWStr,   dbtype::kNumeric, dbtype::kDbDate,  dbtype::kDbTime,   dbtype::kDbTimestamp,
    dbtype::kStr | dbtype::kByRef,     dbtype::kWStr | dbtype::kByRef,      999,
};
constexpr size_t kTypeCount = sizeof kTypes / sizeof kTypes[0];

using fuzz::Reader;

bool SameRecord(const FieldValue& a, const FieldValue& b) {
    if (a.kind != b.kind || a.flags != b.flags) return false;
    if (a.kind == kText) return FvText(a) == FvText(b);
    return std::memcmp(&a.u, &b.u, sizeof a.u) == 0;
}

template <typename T>
T Load(const unsigned char* p) {
    T x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

// The number the record's text spells, which must be the column's value
// read with the column's sign.
void CheckIntegerText(FieldValue v, long long expected) {
    FvToText(v);
    const std::string_view text = FvText(v);
    long long read = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), read);
    FUZZ_CHECK(r.ec == std::errc() && r.ptr == text.data() + text.size() && read == expected,
               "an integer column reads as its own value, with its type's sign");
    FvClear(v);
}

void CheckIntegers(uint16_t type, const unsigned char* p, const FieldValue& v) {
    switch (type) {
    case dbtype::kI2:
    case dbtype::kBool: CheckIntegerText(v, Load<int16_t>(p)); break;
    case dbtype::kUI2: CheckIntegerText(v, Load<uint16_t>(p)); break;
    case dbtype::kI4:
    case dbtype::kError:
    case dbtype::kGuid: CheckIntegerText(v, Load<int32_t>(p)); break;
    case dbtype::kUI4: CheckIntegerText(v, Load<uint32_t>(p)); break;
    case dbtype::kI1: CheckIntegerText(v, static_cast<int8_t>(p[0])); break;
    case dbtype::kUI1: CheckIntegerText(v, p[0]); break;
    default: break;
    }
}

void FuzzPlace(Reader in) {
    const uint16_t type = kTypes[in.Byte() % kTypeCount];
    const uint32_t flags = (in.Byte() & 1) ? kColumnFlagIsLong : 0;
    const uint8_t statusPick = in.Byte();
    const uint32_t status = statusPick == 1 ? kStatusIsNull : statusPick == 2 ? kStatusCantCreate : statusPick % 16;
    uint32_t placeSize = in.Byte();
    placeSize |= static_cast<uint32_t>(in.Byte() & 0x07) << 8;  // up to the stream threshold and a bit
    // The row layout gives every value place at least kMinPlace bytes.
    const uint8_t fill = in.Byte();
    const size_t room = std::max<size_t>(placeSize, kMinPlace);
    auto place = std::make_unique<unsigned char[]>(room);
    // The rest of the place holds a byte of the input's choice, so a place
    // without any terminator is easy to reach.
    std::memset(place.get(), fill, room);
    std::memcpy(place.get(), in.p, std::min(room, in.n));

    // A BSTR place holds a pointer: to a text of exactly the rest of the input.
    std::unique_ptr<char16_t[]> bstr;
    size_t bstrUnits = 0;
    if (type == dbtype::kBstr) {
        bstrUnits = in.n / 2;
        bstr = std::make_unique<char16_t[]>(bstrUnits + 1);
        std::memcpy(bstr.get(), in.p, bstrUnits * 2);
        bstr[bstrUnits] = 0;
        const char16_t* pointer = in.n % 2 ? nullptr : bstr.get();
        std::memset(place.get(), 0, room);
        std::memcpy(place.get(), &pointer, sizeof pointer);
    }

    const ColumnView col{type, flags, place.get(), placeSize};
    FieldValue v{}, again{};
    FvSetLong(v, 77, false);
    FvSetLong(again, 77, false);
    const Decoded d = DecodeWithStatus(col, status, v);
    FUZZ_CHECK(d == DecodeWithStatus(col, status, again) && SameRecord(v, again),
               "the same place decodes to the same record");
    FvClear(again);

    if (status == kStatusIsNull) {
        FUZZ_CHECK(d == Decoded::Value && FvText(v) == "<NULL>", "a NULL status reads as <NULL>");
    } else if (status == kStatusCantCreate) {
        FUZZ_CHECK(d == Decoded::Value && v.kind == kNull, "a can't-create status reads as null");
    } else if (d == Decoded::Failed) {
        if (type == dbtype::kNull)
            FUZZ_CHECK(v.kind == kEmpty, "DBTYPE_NULL empties the record");
        else
            FUZZ_CHECK(v.kind == kLong && v.u.i32 == 77, "a type that is not read leaves the record untouched");
    } else if (d == Decoded::Stream) {
        FUZZ_CHECK(type == dbtype::kIUnknown, "only a storage object is left to the caller");
    } else {
        const std::string_view text = FvText(v);
        FUZZ_CHECK(text.find('\0') == std::string_view::npos, "decoded text holds no terminator");
        if (type == dbtype::kStr && !(flags & kColumnFlagIsLong)) {
            const size_t len = strnlen(reinterpret_cast<const char*>(place.get()), placeSize);
            FUZZ_CHECK(text == std::string_view(reinterpret_cast<const char*>(place.get()), len),
                       "narrow text is the place's bytes up to the terminator or the place's end");
        }
        // Code page 936 takes at most two bytes for one UTF-16 unit.
        if (type == dbtype::kWStr)
            FUZZ_CHECK(text.size() <= placeSize / 2 * 2, "wide text stays within the place's units");
        if (type == dbtype::kBstr) FUZZ_CHECK(text.size() <= bstrUnits * 2, "a BSTR's text stays within its units");
        if (type == dbtype::kR4 || type == dbtype::kR8) {
            const double x = type == dbtype::kR4 ? Load<float>(place.get()) : Load<double>(place.get());
            const double got = FvRealOf(v);
            const bool zero = std::isnan(x) || std::fabs(x) <= 1e-100;
            FUZZ_CHECK(v.kind == kReal && (zero ? got == 0.0 : got == x),
                       "a real reads as itself, tiny and not-a-number values as 0");
        }
        CheckIntegers(type, place.get(), v);
    }
    FvClear(v);
}

std::string FinishPieces(uint16_t providerType, const uint8_t* bytes, size_t n, const std::vector<size_t>& cuts) {
    StreamText text(providerType);
    size_t at = 0;
    for (size_t cut : cuts) {
        cut = std::min(cut, n);
        if (cut < at) continue;
        // Each piece in a block of its own, so a read past it is seen.
        auto piece = std::make_unique<unsigned char[]>(cut - at + 1);
        std::memcpy(piece.get(), bytes + at, cut - at);
        text.Add(piece.get(), cut - at);
        at = cut;
    }
    auto rest = std::make_unique<unsigned char[]>(n - at + 1);
    std::memcpy(rest.get(), bytes + at, n - at);
    text.Add(rest.get(), n - at);
    return text.Finish();
}

void FuzzStream(Reader in) {
    const uint16_t providerType = kTypes[in.Byte() % kTypeCount];
    std::vector<size_t> cuts;
    for (int i = in.Byte() % 8; i > 0; --i) cuts.push_back(in.Byte() | (in.Byte() & 3u) << 8);
    std::sort(cuts.begin(), cuts.end());
    const std::string whole = FinishPieces(providerType, in.p, in.n, {});
    const std::string cut = FinishPieces(providerType, in.p, in.n, cuts);
    FUZZ_CHECK(whole == cut, "a stream's text does not depend on where its pieces were cut");
    FUZZ_CHECK(whole == FinishPieces(providerType, in.p, in.n, {}), "the same stream gives the same text");
    FUZZ_CHECK(whole.find('\0') == std::string::npos, "stream text holds no terminator");
    if (providerType == dbtype::kStr) {
        const size_t len = strnlen(reinterpret_cast<const char*>(in.p), in.n);
        FUZZ_CHECK(whole == std::string(reinterpret_cast<const char*>(in.p), len),
                   "a narrow stream is its bytes up to the first zero");
    } else {
        FUZZ_CHECK(whole.size() <= in.n / 2 * 2, "a wide stream's text stays within its units");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    if (in.Byte() % 2 == 0)
        FuzzPlace(in);
    else
        FuzzStream(in);
    return 0;
}
