#include "field_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace rowgate {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) noexcept {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) noexcept {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

const int64_t kOleEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) noexcept { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) noexcept {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

bool ValidDate(int y, int m, int d) noexcept {
    return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

bool ValidTime(int h, int mi, int s) noexcept {
    return h >= 0 && h < 24 && mi >= 0 && mi < 60 && s >= 0 && s < 60;
}

char* Two(char* p, int x) noexcept {
    p[0] = static_cast<char>('0' + x / 10 % 10);
    p[1] = static_cast<char>('0' + x % 10);
    return p + 2;
}

} // namespace

int FormatDateParts(const DateParts& p, bool date, bool time, char* buf) noexcept {
    if (p.year < 100 || p.year > 9999) return 0;
    char* o = buf;
    if (date) {
        o = std::to_chars(o, o + 8, p.year).ptr;
        *o++ = '-';
        o = Two(o, p.month);
        *o++ = '-';
        o = Two(o, p.day);
    }
    if (date && time) *o++ = ' ';
    if (time) {
        o = Two(o, p.hour);
        *o++ = ':';
        o = Two(o, p.minute);
        *o++ = ':';
        o = Two(o, p.second);
    }
    return static_cast<int>(o - buf);
}

bool ValidDateTimeParts(const DateParts& p) noexcept {
    return ValidDate(p.year, p.month, p.day) && ValidTime(p.hour, p.minute, p.second);
}

namespace {

// Dates as the strftime patterns %Y-%m-%d, %H:%M:%S and both; empty outside
// the years 100 to 9999.
int FormatDate(double d, bool date, bool time, char* buf) noexcept {
    DateParts p{};
    if (!DecodeOleDate(d, p)) return 0;
    return FormatDateParts(p, date, time, buf);
}

// "%f" of x (six decimals of the exact binary value, ties to even, as
// printf rounds) for |x| below 2^33; -1 for anything else.
int FixedSix(double x, char* buf) noexcept {
    if (!std::isfinite(x) || std::fabs(x) >= 8589934592.0) return -1;
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mant = bits & ((uint64_t{1} << 52) - 1);
    int e = -1074;
    if (biased != 0) {
        mant |= uint64_t{1} << 52;
        e = biased - 1075;
    }
    // q = round(mant * 2^e * 10^6), ip = the integer part of |x|.
    uint64_t q = 0, ip = 0;
    if (mant != 0 && e >= 0) {
        ip = mant << e;
        q = ip * 1000000u;
    } else if (mant != 0) {
        // mant * 10^6 as a 128-bit number (hi, lo), then shifted right by s with rounding.
        const uint64_t mh = (mant >> 32) * 1000000u, ml = (mant & 0xFFFFFFFFu) * 1000000u;
        uint64_t lo = ml + (mh << 32);
        uint64_t hi = (mh >> 32) + (lo < ml ? 1 : 0);
        const int sh = -e;
        bool up = false;
        if (sh < 64) {
            ip = mant >> sh;
            q = (hi << (64 - sh)) | (lo >> sh);
            const uint64_t r = lo & ((uint64_t{1} << sh) - 1), half = uint64_t{1} << (sh - 1);
            up = r > half || (r == half && (q & 1));
        } else if (sh == 64) {
            q = hi;
            const uint64_t half = uint64_t{1} << 63;
            up = lo > half || (lo == half && (q & 1));
        } else if (sh < 128) {
            q = hi >> (sh - 64);
            const uint64_t rh = hi & ((uint64_t{1} << (sh - 64)) - 1), halfHi = uint64_t{1} << (sh - 65);
            up = rh > halfHi || (rh == halfHi && (lo != 0 || (q & 1)));
        }
        if (up) ++q;
    }
    // Rounding may carry the fraction into the integer part.
    uint32_t frac = static_cast<uint32_t>(q - ip * 1000000u);
    if (frac >= 1000000u) {
        ++ip;
        frac -= 1000000u;
    }
    char* o = buf;
    if (negative) *o++ = '-';
    if (ip <= 0xFFFFFFFFu)
        o = std::to_chars(o, o + 24, static_cast<uint32_t>(ip)).ptr;
    else
        o = std::to_chars(o, o + 24, ip).ptr;
    *o++ = '.';
    uint32_t f = frac;
    for (int i = 5; i >= 0; --i) {
        o[i] = static_cast<char>('0' + f % 10);
        f /= 10;
    }
    return static_cast<int>(o + 6 - buf);
}

} // namespace

template <typename T>
int FormatInteger(T x, char* buf) noexcept {
    return static_cast<int>(std::to_chars(buf, buf + 24, x).ptr - buf);
}
template int FormatInteger<int>(int, char*) noexcept;
template int FormatInteger<unsigned>(unsigned, char*) noexcept;

namespace {

template <typename T>
int Integer(T x, char* buf) noexcept {
    return FormatInteger(x, buf);
}

} // namespace

void FvClear(FieldValue& v) noexcept {
    if (v.kind == kText || v.kind == kBytes) {
        std::free(v.u.text.ptr);
    } else if (v.kind == kObject) {
        delete v.u.object;
    }
    v.kind = kEmpty;
    v.flags = 0;
    std::memset(&v.u, 0, sizeof v.u);
}

void FvSetNull(FieldValue& v) noexcept {
    FvClear(v);
    v.kind = kNull;
}

void FvSetShort(FieldValue& v, int16_t x, bool isUnsigned) noexcept {
    FvClear(v);
    v.kind = kShort;
    v.flags = isUnsigned ? kFlagUnsigned : 0;
    v.u.i16 = x;
}

void FvSetLong(FieldValue& v, int32_t x, bool isUnsigned) noexcept {
    FvClear(v);
    v.kind = kLong;
    v.flags = isUnsigned ? kFlagUnsigned : 0;
    v.u.i32 = x;
}

void FvSetGuidHead(FieldValue& v, int32_t x) noexcept {
    FvClear(v);
    v.kind = kGuidHead;
    v.u.i32 = x;
}

void FvSetDouble(FieldValue& v, FieldKind kind, double x) noexcept {
    FvClear(v);
    v.kind = kind;
    v.u.real = x;
}

char* FvAllocText(size_t len) noexcept { return static_cast<char*>(std::malloc(len + 1)); }

void FvAdoptText(FieldValue& v, char* text, uint32_t len) noexcept {
    FvClear(v);
    v.kind = kText;
    if (len == 0) {
        std::free(text);
        text = nullptr;
    }
    v.u.text.ptr = text;
    v.u.text.len = len;
}

bool FvSetText(FieldValue& v, std::string_view text) noexcept {
    char* p = nullptr;
    if (!text.empty()) {
        p = FvAllocText(text.size());
        if (!p) {
            FvClear(v);
            return false;
        }
        std::memcpy(p, text.data(), text.size());
        p[text.size()] = '\0';
    }
    FvAdoptText(v, p, static_cast<uint32_t>(text.size()));
    return true;
}

std::string_view FvText(const FieldValue& v) noexcept {
    if (v.kind != kText || !v.u.text.ptr) return {};
    return std::string_view(v.u.text.ptr, v.u.text.len);
}

int FormatReal(double x, char* buf) noexcept {
    // Exactly what "%f" prints, without the cost of the printf machinery.
    const int fast = FixedSix(x, buf);
    if (fast >= 0) return fast;
    const auto r = std::to_chars(buf, buf + kFormatBufferSize, x, std::chars_format::fixed, 6);
    if (r.ec == std::errc()) return static_cast<int>(r.ptr - buf);
    const int n = std::snprintf(buf, kFormatBufferSize, "%f", x);
    return n < 0 ? 0 : std::min(n, static_cast<int>(kFormatBufferSize) - 1);
}

int FvFormat(const FieldValue& v, char* buf) noexcept {
    const bool isUnsigned = (v.flags & kFlagUnsigned) != 0;
    switch (v.kind) {
    case kEmpty:
    case kNull:
    case kObject:
        return 0;
    case kInt32Alt:
    case kGuidHead:
        return Integer(v.u.i32, buf);
    case kLong:
        return isUnsigned ? Integer(static_cast<uint32_t>(v.u.i32), buf) : Integer(v.u.i32, buf);
    case kInt8:
        return Integer(static_cast<int>(v.u.i8), buf);
    case kUInt8:
        return Integer(static_cast<int>(static_cast<uint8_t>(v.u.i8)), buf);
    case kShort:
    case kInt16Alt:
        return isUnsigned ? Integer(static_cast<int>(static_cast<uint16_t>(v.u.i16)), buf)
                          : Integer(static_cast<int>(v.u.i16), buf);
    case kReal:
    case kCurrency:
        return FormatReal(v.u.real, buf);
    case kDate:
        return FormatDate(v.u.real, true, false, buf);
    case kTime:
        return FormatDate(v.u.real, false, true, buf);
    case kDateTime:
        return FormatDate(v.u.real, true, true, buf);
    default:  // text and byte blocks stay as they are
        return -1;
    }
}

void FvToText(FieldValue& v) noexcept {
    char buf[kFormatBufferSize];
    const int n = FvFormat(v, buf);
    if (n >= 0) FvSetText(v, std::string_view(buf, static_cast<size_t>(n)));
}

void FvToReal(FieldValue& v) noexcept {
    const bool isUnsigned = (v.flags & kFlagUnsigned) != 0;
    double x = 0.0;
    switch (v.kind) {
    case kInt32Alt:
    case kGuidHead:
        x = v.u.i32;
        break;
    case kLong:
        x = isUnsigned ? static_cast<double>(static_cast<uint32_t>(v.u.i32)) : v.u.i32;
        break;
    case kInt8:
        x = v.u.i8;
        break;
    case kUInt8:
        x = static_cast<uint8_t>(v.u.i8);
        break;
    case kShort:
    case kInt16Alt:
        x = isUnsigned ? static_cast<double>(static_cast<uint16_t>(v.u.i16)) : v.u.i16;
        break;
    case kReal:
    case kDate:
    case kTime:
    case kDateTime:
    case kCurrency:
        return;
    default:
        break;
    }
    FvSetDouble(v, kReal, x);
}

double FvRealOf(const FieldValue& v) noexcept {
    return v.kind >= kReal && v.kind <= kCurrency ? v.u.real : 0.0;
}

double EncodeOleDate(int year, int month, int day) noexcept {
    if (!ValidDate(year, month, day)) return 0.0;
    return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                               kOleEpoch);
}

double EncodeOleTime(int hour, int minute, int second) noexcept {
    if (!ValidTime(hour, minute, second)) return 0.0;
    return (hour * 3600000.0 + minute * 60000.0 + second * 1000.0) / 86400000.0;
}

double EncodeOleDateTime(int year, int month, int day, int hour, int minute, int second) noexcept {
    if (!ValidDate(year, month, day) || !ValidTime(hour, minute, second)) return 0.0;
    const double d = EncodeOleDate(year, month, day);
    const double t = EncodeOleTime(hour, minute, second);
    // Before 1899-12-30 the day count is negative while the time of day still counts forward.
    return d < 0 ? d - t : d + t;
}

bool DecodeOleDate(double d, DateParts& out) noexcept {
    if (!std::isfinite(d) || d <= -693594.0 || d >= 2958466.0) return false;
    const double whole = std::trunc(d);
    int64_t ms = std::llround(std::fabs(d - whole) * 86400000.0);
    if (ms >= 86400000) ms = 86399999;
    CivilFromDays(static_cast<int64_t>(whole) + kOleEpoch, out.year, out.month, out.day);
    const int64_t secs = ms / 1000;
    out.hour = static_cast<int>(secs / 3600);
    out.minute = static_cast<int>(secs / 60 % 60);
    out.second = static_cast<int>(secs % 60);
    return out.year >= 1 && out.year <= 9999;
}

double CleanReal(double x) noexcept {
    if (std::isnan(x) || std::fabs(x) <= 1e-100) return 0.0;
    return x;
}

} // namespace rowgate
