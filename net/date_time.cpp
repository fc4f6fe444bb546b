#include "date_time.h"

#include <cmath>

namespace au {
namespace {

constexpr int64_t kMsPerDay = 24LL * 60 * 60 * 1000;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const int64_t kEpoch = DaysFromCivil(1899, 12, 30);

} // namespace

std::optional<DateTime> EncodeDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return std::nullopt;
    return static_cast<DateTime>(DaysFromCivil(year, month, day) - kEpoch);
}

std::optional<DateTime> EncodeTime(int hour, int minute, int second) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return std::nullopt;
    return (hour * 3600 + minute * 60 + second) / kSecondsPerDay;
}

std::optional<CivilTime> DecodeDateTime(DateTime value) {
    // Years 1 to 9999, so the millisecond count below cannot overflow.
    if (!std::isfinite(value) || value < -693593.0 || value >= 2958466.0) return std::nullopt;
    const int64_t ms = std::llround(value * static_cast<double>(kMsPerDay));
    int64_t days = ms / kMsPerDay, rest = ms % kMsPerDay;
    if (rest < 0) { rest += kMsPerDay; --days; }
    CivilTime t{};
    CivilFromDays(days + kEpoch, t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600000);
    t.minute = static_cast<int>(rest / 60000 % 60);
    t.second = static_cast<int>(rest / 1000 % 60);
    t.millisecond = static_cast<int>(rest % 1000);
    if (t.year < 1 || t.year > 9999) return std::nullopt;
    return t;
}

std::optional<DosDateTime> ToDosDateTime(DateTime value) {
    const auto t = DecodeDateTime(value);
    if (!t || t->year < 1980 || t->year > 2107) return std::nullopt;
    DosDateTime dos;
    dos.date = static_cast<uint16_t>(((t->year - 1980) << 9) | (t->month << 5) | t->day);
    dos.time = static_cast<uint16_t>((t->hour << 11) | (t->minute << 5) | (t->second / 2));
    return dos;
}

} // namespace au
