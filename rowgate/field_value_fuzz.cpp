// The conversions behind the text and real exports, and the binding rules
// that size the value places: every text is written into a block of
// exactly the size the interface promises to need (and again into one of
// exactly the length it reports), so a write past it is seen; integers
// read back as their value with the column's sign, reals print as "%f"
// does, dates keep their parts, and a column that does not fit its place
// is read as a stream rather than cut short.
// Input: a selector byte, then the bytes of the case.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "rowgate/binding.h"
#include "rowgate/field_value.h"

using namespace rowgate;

namespace {

using fuzz::Reader;

// A text written into a block of exactly the size the interface asks for,
// and of at most `longest` characters.
template <typename Format>
std::string Exactly(size_t blockSize, size_t longest, Format format) {
    auto block = std::make_unique<char[]>(blockSize);
    const int n = format(block.get());
    FUZZ_CHECK(n >= -1 && n <= static_cast<int>(longest), "the text is no longer than the interface promises");
    if (n < 0) return std::string(1, '\xff');
    std::string text(block.get(), static_cast<size_t>(n));
    // Nothing is written past the length reported.
    auto tight = std::make_unique<char[]>(n ? static_cast<size_t>(n) : 1);
    FUZZ_CHECK(format(tight.get()) == n && std::memcmp(tight.get(), text.data(), text.size()) == 0,
               "the same value gives the same text");
    return text;
}

bool ParseInt(std::string_view text, long long& out) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool ParseTwo(std::string_view text, size_t at, int& out) {
    if (at + 2 > text.size() || text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9')
        return false;
    out = (text[at] - '0') * 10 + (text[at + 1] - '0');
    return true;
}

// "yyyy-mm-dd", "hh:mm:ss" or both with a blank between, read back.
bool ParseDateText(std::string_view t, bool date, bool time, DateParts& p) {
    size_t at = 0;
    if (date) {
        long long y = 0;
        const size_t dash = t.find('-');
        if (dash == std::string_view::npos || !ParseInt(t.substr(0, dash), y)) return false;
        p.year = static_cast<int>(y);
        at = dash + 1;
        if (!ParseTwo(t, at, p.month) || t.size() < at + 5 || t[at + 2] != '-' || !ParseTwo(t, at + 3, p.day))
            return false;
        at += 5;
        if (time) {
            if (at >= t.size() || t[at] != ' ') return false;
            ++at;
        }
    }
    if (time) {
        if (!ParseTwo(t, at, p.hour) || t.size() < at + 8 || t[at + 2] != ':' || !ParseTwo(t, at + 3, p.minute) ||
            t[at + 5] != ':' || !ParseTwo(t, at + 6, p.second))
            return false;
        at += 8;
    }
    return at == t.size();
}

constexpr size_t kDateTimeChars = 19;  // "yyyy-mm-dd hh:mm:ss"

void FuzzRecord(Reader& in) {
    FieldValue v{};
    v.kind = static_cast<int32_t>(in.Byte() % 18);  // every kind and one beyond
    if (v.kind == kObject) v.kind = kEmpty;       // a record owns its object: none from bytes
    v.flags = in.Byte() & 3;
    const uint64_t payload = in.Take<uint64_t>();
    std::memcpy(&v.u, &payload, sizeof payload);
    if (v.kind == kText || v.kind == kBytes) {
        const size_t n = std::min<size_t>(in.n, 64);
        const int32_t kind = v.kind;
        v.kind = kEmpty;  // the payload's bytes are no pointer to free
        FvSetText(v, std::string_view(reinterpret_cast<const char*>(in.p), n));
        v.kind = kind;
    }
    const std::string text = Exactly(kFormatBufferSize, kFormatBufferSize - 1, [&](char* b) { return FvFormat(v, b); });
    const bool isUnsigned = (v.flags & kFlagUnsigned) != 0;
    long long number = 0;
    bool integer = true;
    switch (v.kind) {
    case kInt32Alt:
    case kGuidHead: number = v.u.i32; break;
    case kLong: number = isUnsigned ? static_cast<long long>(static_cast<uint32_t>(v.u.i32)) : v.u.i32; break;
    case kInt8: number = v.u.i8; break;
    case kUInt8: number = static_cast<uint8_t>(v.u.i8); break;
    case kShort:
    case kInt16Alt: number = isUnsigned ? static_cast<long long>(static_cast<uint16_t>(v.u.i16)) : v.u.i16; break;
    default: integer = false; break;
    }
    if (integer) {
        long long back = 0;
        FUZZ_CHECK(ParseInt(text, back) && back == number, "an integer's text reads back as the integer");
        FieldValue real = v;
        FvToReal(real);
        FUZZ_CHECK(real.kind == kReal && FvRealOf(real) == static_cast<double>(number),
                   "an integer's real is the integer, with the same sign as its text");
    } else if (v.kind == kReal || v.kind == kCurrency) {
        char expected[kFormatBufferSize + 8];
        const int n = std::snprintf(expected, sizeof expected, "%f", v.u.real);
        FUZZ_CHECK(text == std::string_view(expected, static_cast<size_t>(n)), "a real prints as \"%f\" prints it");
        if (std::isfinite(v.u.real))
            FUZZ_CHECK(std::fabs(std::strtod(text.c_str(), nullptr) - v.u.real) <= 5e-7 + 1e-15 * std::fabs(v.u.real),
                       "a real's text reads back as the real to six decimals");
    } else if (v.kind == kDate || v.kind == kTime || v.kind == kDateTime) {
        const bool date = v.kind != kTime, time = v.kind != kDate;
        DateParts decoded{};
        const bool inRange = DecodeOleDate(v.u.real, decoded) && decoded.year >= 100;
        FUZZ_CHECK(inRange != text.empty(), "a date prints exactly when it lies in the years 100 to 9999");
        if (inRange) {
            DateParts back{decoded};
            FUZZ_CHECK(ParseDateText(text, date, time, back), "a date's text has the date, time or both");
            FUZZ_CHECK(back.year == decoded.year && back.month == decoded.month && back.day == decoded.day &&
                           back.hour == decoded.hour && back.minute == decoded.minute && back.second == decoded.second,
                       "a date's text shows its parts");
        }
    } else if (v.kind == kText || v.kind == kBytes) {
        FUZZ_CHECK(text == "\xff", "text and byte blocks are not formatted");
    } else {
        FUZZ_CHECK(text.empty() || text == "\xff", "empty, null and unknown kinds give no text");
    }
    // The in-place conversion gives the same text.
    if (v.kind <= kCurrency) {
        FieldValue copy = v;
        FvToText(copy);
        FUZZ_CHECK(copy.kind == kText && FvText(copy) == text, "the in-place conversion gives the formatted text");
        FvClear(copy);
    }
    FvClear(v);
}

void FuzzDateParts(Reader& in) {
    DateParts p{};
    for (int* part : {&p.year, &p.month, &p.day, &p.hour, &p.minute, &p.second}) *part = in.Take<int16_t>();
    if (in.Byte() & 1) {  // mostly sensible parts, so the valid ones are reached
        p.year = 1 + static_cast<int>(static_cast<uint16_t>(p.year) % 9999);
        p.month = 1 + static_cast<uint16_t>(p.month) % 12;
        p.day = 1 + static_cast<uint16_t>(p.day) % 31;
        p.hour = static_cast<uint16_t>(p.hour) % 24;
        p.minute = static_cast<uint16_t>(p.minute) % 60;
        p.second = static_cast<uint16_t>(p.second) % 60;
    }
    const double d = EncodeOleDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second);
    FUZZ_CHECK(d == EncodeOleDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second),
               "the same parts give the same date");
    if (!ValidDateTimeParts(p)) {
        FUZZ_CHECK(d == 0.0, "parts that form no date give 0");
        return;
    }
    DateParts back{};
    FUZZ_CHECK(DecodeOleDate(d, back), "a valid date decodes");
    FUZZ_CHECK(back.year == p.year && back.month == p.month && back.day == p.day && back.hour == p.hour &&
                   back.minute == p.minute && back.second == p.second,
               "a date made of parts gives back the same parts");
    FUZZ_CHECK(EncodeOleDate(p.year, p.month, p.day) == std::trunc(d), "the date alone is the whole days");
    const std::string text =
        Exactly(kDateTimeChars, kDateTimeChars, [&](char* b) { return FormatDateParts(p, true, true, b); });
    if (p.year < 100) {
        FUZZ_CHECK(text.empty(), "years before 100 print no text");
        return;
    }
    DateParts read{};
    FUZZ_CHECK(ParseDateText(text, true, true, read) && read.year == p.year && read.month == p.month &&
                   read.day == p.day && read.hour == p.hour && read.minute == p.minute && read.second == p.second,
               "the text of valid parts reads back as the parts");
}

void FuzzDouble(Reader& in) {
    const double x = in.Take<double>();
    DateParts p{};
    if (DecodeOleDate(x, p)) {
        FUZZ_CHECK(ValidDateTimeParts(p), "a decoded date is a valid date and time");
        const double again = EncodeOleDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second);
        DateParts q{};
        FUZZ_CHECK(DecodeOleDate(again, q) && q.year == p.year && q.month == p.month && q.day == p.day &&
                       q.hour == p.hour && q.minute == p.minute && q.second == p.second,
                   "a decoded date encodes to the same parts");
        Exactly(kDateTimeChars, kDateTimeChars, [&](char* b) { return FormatDateParts(p, true, true, b); });
    }
    const double clean = CleanReal(x);
    FUZZ_CHECK(clean == ((std::isnan(x) || std::fabs(x) <= 1e-100) ? 0.0 : x), "a fetched real is cleaned only when tiny");
    const std::string real = Exactly(kFormatBufferSize, kFormatBufferSize - 1, [&](char* b) { return FormatReal(x, b); });
    char expected[kFormatBufferSize + 8];
    const int n = std::snprintf(expected, sizeof expected, "%f", x);
    FUZZ_CHECK(real == std::string_view(expected, static_cast<size_t>(n)), "FormatReal prints as \"%f\" prints");
    const int32_t i = in.Take<int32_t>();
    const std::string si = Exactly(24, 24, [&](char* b) { return FormatInteger<int>(i, b); });
    const std::string su = Exactly(24, 24, [&](char* b) { return FormatInteger<unsigned>(static_cast<unsigned>(i), b); });
    long long a = 0, b = 0;
    FUZZ_CHECK(ParseInt(si, a) && a == i && ParseInt(su, b) && b == static_cast<uint32_t>(i),
               "an integer's text reads back as the integer");
}

void FuzzBinding(Reader& in) {
    const uint16_t types[] = {dbtype::kStr, dbtype::kWStr, dbtype::kBytes, dbtype::kI4, dbtype::kIUnknown,
                              dbtype::kBstr, dbtype::kDbTimestamp, dbtype::kNumeric};
    size_t rowBytes = 0;
    struct Placed {
        ColumnPlace place;
        size_t bytes;
    } placed[8];
    size_t count = 0;
    while (count < 8 && in.n >= 6) {
        const uint16_t type = types[in.Byte() % 8];
        const uint32_t flags = (in.Byte() & 1) ? kColumnFlagIsLong : 0;
        uint32_t columnSize = in.Take<uint32_t>();
        if (!(columnSize & 0x80000000u)) columnSize %= 1200;  // mostly near the stream threshold
        const OpenKind open = (columnSize & 1) ? OpenKind::Plain : OpenKind::WithModes;
        const BindDecision d = DecideBinding(type, columnSize, flags, open);
        FUZZ_CHECK(d.skip == (type == dbtype::kWStr && (flags & kColumnFlagIsLong)), "only long wide text is skipped");
        if (d.skip) continue;
        if (d.asStream) {
            FUZZ_CHECK(d.type == dbtype::kIUnknown && d.size == sizeof(void*), "a stream binds a pointer");
        } else {
            FUZZ_CHECK(d.type == type && d.size <= kStreamThreshold + 1, "a place stays within the threshold");
            if (type == dbtype::kStr)
                FUZZ_CHECK(d.size >= uint64_t{columnSize} + 1, "narrow text fits its place with its terminator");
            else if (type == dbtype::kWStr)
                FUZZ_CHECK(d.size / 2 >= uint64_t{columnSize} + 1, "wide text fits its place with its terminator");
            else
                FUZZ_CHECK(d.size == columnSize, "other types keep their size");
        }
        placed[count++] = {PlaceColumn(rowBytes, d.size), d.size};
    }
    // Every part written in a row of exactly the size laid out.
    auto row = std::make_unique<unsigned char[]>(std::max<size_t>(rowBytes, 1));
    size_t end = 0;
    for (size_t i = 0; i < count; ++i) {
        const ColumnPlace& p = placed[i].place;
        FUZZ_CHECK(p.value % 8 == 0 && p.length % kLengthBytes == 0 && p.status % kStatusBytes == 0,
                   "the parts are aligned");
        FUZZ_CHECK(p.value >= end && p.length >= p.value + std::max(placed[i].bytes, kMinPlace) &&
                       p.status >= p.length + kLengthBytes,
                   "the parts do not overlap");
        std::memset(row.get() + p.value, 1, std::max(placed[i].bytes, kMinPlace));
        std::memset(row.get() + p.length, 2, kLengthBytes);
        std::memset(row.get() + p.status, 3, kStatusBytes);
        end = p.status + kStatusBytes;
    }
    FUZZ_CHECK(rowBytes == end, "the row ends after its last status");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    switch (in.Byte() % 4) {
    case 0: FuzzRecord(in); break;
    case 1: FuzzDateParts(in); break;
    case 2: FuzzDouble(in); break;
    default: FuzzBinding(in); break;
    }
    return 0;
}
