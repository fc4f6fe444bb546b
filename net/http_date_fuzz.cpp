// The dates of HTTP headers (Date, Last-Modified, Expires): a server writes
// them, the upgrade keeps Last-Modified as a file's time. A date read must be
// a real one, the same text must give the same instant, and a date written
// out again (RFC 1123, RFC 850, asctime, by this target's own writer, since
// the product has none) must read back as the same instant. Input: a first
// byte choosing the mode; even: the rest is a date text (UTF-8, other bytes
// one character each); odd: the rest are the fields of a date the target
// writes in one of the three forms and knows the value of, possibly
// impossible (31 February, hour 24).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "net/date_time.h"
#include "fuzz_input.h"
#include "net/http_date.h"

namespace {

constexpr double kClose = 1e-8;  // days: well below a millisecond
const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The calendar again, counted the plain way: whole years, then months.
bool IsLeap(int y) { return y % 400 == 0 || (y % 4 == 0 && y % 100 != 0); }
int MonthLength(int y, int m) {
    if (m == 2) return IsLeap(y) ? 29 : 28;
    return m == 4 || m == 6 || m == 9 || m == 11 ? 30 : 31;
}
bool IsRealDate(int y, int m, int d) { return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= MonthLength(y, m); }
// Days since 0001-01-01.
int64_t Ordinal(int y, int m, int d) {
    const int64_t before = y - 1;
    int64_t days = before * 365 + before / 4 - before / 100 + before / 400;
    for (int k = 1; k < m; ++k) days += MonthLength(y, k);
    return days + d - 1;
}
// The program's day number: days since 1899-12-30.
double DayNumber(int y, int m, int d) { return static_cast<double>(Ordinal(y, m, d) - Ordinal(1899, 12, 30)); }
int Weekday(int y, int m, int d) { return static_cast<int>((Ordinal(y, m, d) + 1) % 7); }  // 0001-01-01 was a Monday

std::wstring Wide(const char* text) { return std::wstring(text, text + std::strlen(text)); }

bool AwayFromTheEnds(double value) { return value > DayNumber(1, 1, 3) && value < DayNumber(9999, 12, 29); }

bool SameInstant(double a, double b) { return std::fabs(a - b) < kClose; }

void CheckRealCalendarDate(const au::CivilTime& t) {
    FUZZ_CHECK(IsRealDate(t.year, t.month, t.day), "a decoded value is a real calendar date");
    FUZZ_CHECK(t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second < 60 &&
                   t.millisecond >= 0 && t.millisecond < 1000,
               "a decoded time of day is within its ranges");
}

// The three forms, written from calendar fields; nullopt where a form cannot
// hold the year (RFC 850 has two digits, and four digits below 100 read as
// a two-digit year).
std::optional<std::wstring> Written(int form, const au::CivilTime& t, const char* zone) {
    char text[96];
    const int wd = Weekday(t.year, t.month, t.day);
    const char* month = kMonths[t.month - 1];
    if (form == 1) {
        if (t.year < 1980 || t.year > 2079) return std::nullopt;
        std::snprintf(text, sizeof text, "%s, %02d-%s-%02d %02d:%02d:%02d %s", kLongDays[wd], t.day, month,
                      t.year % 100, t.hour, t.minute, t.second, zone);
    } else {
        if (t.year < 100) return std::nullopt;
        if (form == 0)
            std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %s", kDays[wd], t.day, month, t.year,
                          t.hour, t.minute, t.second, zone);
        else
            std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %04d", kDays[wd], month, t.day, t.hour,
                          t.minute, t.second, t.year);
    }
    return Wide(text);
}

// A value read from any text: a real date, stable, the bias taken off as
// it is, and the same instant again when written out and read back.
void CheckReadValue(const std::wstring& text) {
    const double value = au::HTTPDateToDateTime(text, 0);
    // Whatever was read before it: other dates in between must not matter.
    for (const wchar_t* other : {L"Sun Nov  6 08:49:37 1994", L"Mon Jan  1 00:00:00 2103", L""}) {
        au::HTTPDateToDateTime(other, 0);
        const double again = au::HTTPDateToDateTime(text, 0);
        FUZZ_CHECK(std::memcmp(&value, &again, sizeof value) == 0, "the same text gives the same value twice");
    }
    FUZZ_CHECK(std::isfinite(value), "a date is a finite value");
    const bool empty = fuzz::Trim(text).empty();
    if (empty) FUZZ_CHECK(value == 0, "an empty date is 0");
    for (const double bias : {-8.0 / 24, 5.5 / 24}) {
        const double local = au::HTTPDateToDateTime(text, bias);
        FUZZ_CHECK(au::DecodeDateTime(local).has_value(), "a local date read is a date of years 1 to 9999");
        if (empty) FUZZ_CHECK(local == 0, "an empty date is 0 whatever the bias");
        // Away from the calendar's ends, where the bias decides whether the
        // date exists at all, it is taken off as it is.
        else if (AwayFromTheEnds(value) && AwayFromTheEnds(local))
            FUZZ_CHECK(local == value - bias, "the local bias is taken off as it is");
    }

    const auto civil = au::DecodeDateTime(value);
    FUZZ_CHECK(civil.has_value(), "a date read is a date of years 1 to 9999");
    CheckRealCalendarDate(*civil);
    FUZZ_CHECK(civil->millisecond == 0, "a date read is whole seconds");
    for (int form = 0; form < 3; ++form) {
        const auto written = Written(form, *civil, "GMT");
        if (!written) continue;
        const double back = au::HTTPDateToDateTime(*written, 0);
        FUZZ_CHECK(SameInstant(back, value), "a date written out reads back as the same instant");
    }
}

void CheckZone(const std::wstring& text) {
    const double offset = au::TimeZoneOffsetToDateTime(text), again = au::TimeZoneOffsetToDateTime(text);
    FUZZ_CHECK(std::memcmp(&offset, &again, sizeof offset) == 0, "the same zone twice");
    FUZZ_CHECK(std::fabs(offset) < 1, "a zone is less than a day away");
    const double minutes = offset * 1440;
    FUZZ_CHECK(std::fabs(minutes - std::nearbyint(minutes)) < 1e-6, "a zone is whole minutes");
    // Exactly "+hhmm" or "-hhmm" up front: the value is those hours and minutes.
    const std::wstring zone = fuzz::Trim(text).substr(0, 5);
    bool plain = zone.size() == 5 && (zone[0] == L'+' || zone[0] == L'-');
    for (size_t k = 1; plain && k < 5; ++k) plain = zone[k] >= L'0' && zone[k] <= L'9';
    if (plain) {
        const int hh = (zone[1] - L'0') * 10 + (zone[2] - L'0'), mm = (zone[3] - L'0') * 10 + (zone[4] - L'0');
        const double expected = hh < 24 && mm < 60 ? (zone[0] == L'-' ? -1 : 1) * (hh * 60 + mm) / 1440.0 : 0;
        FUZZ_CHECK(std::fabs(offset - expected) < 1e-12, "+hhmm is that many hours and minutes");
    }
}

// The separator is the text's first one or two characters, looked for in
// the rest.
void CheckSplitAt(const std::wstring& text) {
    if (text.size() < 2) return;
    const std::wstring separator = text.substr(0, 1 + text.size() % 2), whole = text.substr(separator.size());
    const size_t at = whole.find(separator);
    std::wstring kept = whole, cut = whole;
    FUZZ_CHECK(au::SplitAt(kept, separator, false) == whole.substr(0, at) && kept == whole,
               "the head is the text before the separator; without cut the text stays");
    FUZZ_CHECK(au::SplitAt(cut, separator, true) == whole.substr(0, at), "the head is the text before the separator");
    FUZZ_CHECK(at == std::wstring::npos ? cut.empty() : whole.substr(0, at) + separator + cut == whole,
               "head, separator and rest are the whole text");
}

// A date written by the target from fields it chose: it reads as exactly
// that instant, an impossible date as 0 and an impossible time as the zone.
void CheckWrittenFields(const uint8_t* d, size_t n) {
    auto byte = [&](size_t i) -> unsigned { return i < n ? d[i] : 0u; };
    const int form = static_cast<int>(byte(0) % 3);
    au::CivilTime t{};
    const unsigned rawYear = (byte(1) << 8 | byte(2));
    t.year = form == 1 ? (rawYear % 100 < 80 ? 2000 : 1900) + static_cast<int>(rawYear % 100)
                       : byte(1) == 0xFF ? 9999  // the calendar's last year, made easy to reach
                                         : 100 + static_cast<int>(rawYear % 9900);
    t.month = static_cast<int>(byte(3) % 13) + 1;  // 13: no month name
    t.day = static_cast<int>(byte(4) % 33);
    t.hour = static_cast<int>(byte(5) % 26);
    t.minute = static_cast<int>(byte(6) % 62);
    t.second = static_cast<int>(byte(7) % 62);
    const int zoneKind = form == 2 ? 0 : static_cast<int>(byte(8) % 3);
    const int zh = static_cast<int>(byte(9) % 25), zm = static_cast<int>(byte(10) % 61);
    char zone[8] = "GMT";
    if (zoneKind) std::snprintf(zone, sizeof zone, "%c%02d%02d", zoneKind == 1 ? '+' : '-', zh, zm);
    const double zoneValue = zoneKind && zh < 24 && zm < 60 ? (zoneKind == 1 ? 1 : -1) * (zh * 60 + zm) / 1440.0 : 0;

    std::wstring text;
    const bool realMonth = t.month <= 12;
    if (realMonth && t.day >= 1) {
        text = *Written(form, t, zone);
    } else {
        // Written by hand: the fields cannot name a weekday or a month.
        char buffer[96];
        const char* month = realMonth ? kMonths[t.month - 1] : "Foo";
        if (form == 2)
            std::snprintf(buffer, sizeof buffer, "Sun %s %2d %02d:%02d:%02d %04d", month, t.day, t.hour, t.minute,
                          t.second, t.year);
        else if (form == 1)
            std::snprintf(buffer, sizeof buffer, "Sunday, %02d-%s-%02d %02d:%02d:%02d %s", t.day, month,
                          t.year % 100, t.hour, t.minute, t.second, zone);
        else
            std::snprintf(buffer, sizeof buffer, "Sun, %02d %s %04d %02d:%02d:%02d %s", t.day, month, t.year, t.hour,
                          t.minute, t.second, zone);
        text = Wide(buffer);
    }

    const double value = au::HTTPDateToDateTime(text, 0);
    const bool realTime = t.hour < 24 && t.minute < 60 && t.second < 60;
    if (!IsRealDate(t.year, t.month, t.day)) {
        FUZZ_CHECK(value == 0, "an impossible date reads as 0");
        return;
    }
    if (!realTime) {
        FUZZ_CHECK(SameInstant(value, -zoneValue), "an impossible time reads as 0 with the zone taken off");
        return;
    }
    const double expected = DayNumber(t.year, t.month, t.day) + (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0;
    if (expected - zoneValue >= DayNumber(9999, 12, 31) + 1) {
        FUZZ_CHECK(SameInstant(value, -zoneValue), "a date the zone carries past 9999 reads as 0 with the zone taken off");
        return;
    }
    FUZZ_CHECK(SameInstant(value, expected - zoneValue), "a written date reads as its instant, the zone taken off");
    if (zoneValue == 0) {
        const auto civil = au::DecodeDateTime(value);
        FUZZ_CHECK(civil && civil->year == t.year && civil->month == t.month && civil->day == t.day &&
                       civil->hour == t.hour && civil->minute == t.minute && civil->second == t.second &&
                       civil->millisecond == 0,
                   "the value decodes to the fields written");
    }
    CheckReadValue(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] % 2 == 1) {
        CheckWrittenFields(data + 1, size - 1);
        return 0;
    }
    const std::wstring text = fuzz::WideOfBytes(data + 1, size - 1);
    CheckReadValue(text);
    CheckZone(text);
    CheckSplitAt(text);
    return 0;
}
