// Date-times as the whole program counts them: days since 1899-12-30 00:00,
// the fraction being the time of day. Free of platform headers.
#pragma once
#include <cstdint>
#include <optional>

namespace au {

using DateTime = double;

constexpr double kMinutesPerDay = 24.0 * 60.0;
constexpr double kSecondsPerDay = kMinutesPerDay * 60.0;

// The day number of a calendar date; nullopt for a date that does not exist
// (month 13, 30 February, year 0 or above 9999).
std::optional<DateTime> EncodeDate(int year, int month, int day);
// The day fraction of a time of day; nullopt unless 0-23, 0-59, 0-59.
std::optional<DateTime> EncodeTime(int hour, int minute, int second);

struct CivilTime {
    int year, month, day, hour, minute, second, millisecond;
};
// The calendar date and time of a value, to the nearest millisecond; nullopt
// for values outside years 1 to 9999 (and for NaN or infinities).
std::optional<CivilTime> DecodeDateTime(DateTime value);

// The packed MS-DOS date and time of a value: years 1980 to 2107, seconds
// halved and so rounded down to even. nullopt when it cannot be packed.
struct DosDateTime {
    uint16_t date;
    uint16_t time;
};
std::optional<DosDateTime> ToDosDateTime(DateTime value);

} // namespace au
