#include "http_date.h"

#include <optional>

#include "text.h"

namespace au {
namespace {

const std::vector<std::wstring> kWeekdays = {L"SUN", L"MON", L"TUE", L"WED", L"THU", L"FRI", L"SAT"};
const std::vector<std::wstring> kMonths = {L"JAN", L"FEB", L"MAR", L"APR", L"MAY", L"JUN",
                                           L"JUL", L"AUG", L"SEP", L"OCT", L"NOV", L"DEC"};

int MonthNumber(const std::wstring& name) { return LookupName(UpperAscii(name), kMonths) + 1; }

// The date and time of day written in `s`, which is consumed as far as the
// zone; nullopt for a date or time that does not exist, `s` then left where
// the reading stopped, since the zone offset still applies to it.
std::optional<DateTime> ReadDateAndTime(std::wstring& s) {
    if (LookupName(UpperAscii(Mid(s, 0, 3)), kWeekdays) >= 0) {
        SplitAt(s, L" ", true);
        s = TrimLeft(s);
    }

    // RFC 850 dates separate with "-", the other forms with blanks; a leading
    // "-" is no separator.
    const size_t dash = s.find(L'-'), blank = s.find(L' ');
    const std::wstring sep = dash != std::wstring::npos && dash > 0 && blank != std::wstring::npos && dash < blank
                                 ? L"-" : L" ";
    auto readDay = [&] {
        const int day = ParseInt(SplitAt(s, sep, true)).value_or(1);
        s = TrimLeft(s);
        return day;
    };
    auto readMonth = [&] {
        const int month = MonthNumber(SplitAt(s, sep, true));
        s = TrimLeft(s);
        return month;
    };
    int day, month;
    if (MonthNumber(SplitAt(s, sep, false)) > 0) {
        month = readMonth();
        day = readDay();
    } else {
        day = readDay();
        month = readMonth();
    }

    // asctime puts the time before the year: when the next word is no
    // number, the year is what follows it and the time is that word.
    std::wstring head = SplitAt(s, L" ", true);
    int year;
    if (const auto y = ParseInt(head)) {
        year = *y;
    } else {
        year = ParseInt(s).value_or(1900);
        s = head;
    }
    if (year < 80) year += 2000;
    else if (year <= 99) year += 1900;

    std::optional<DateTime> value = EncodeDate(year, month, day);
    if (!value) return std::nullopt;

    if (s.find(L':') != std::wstring::npos) {
        std::wstring time = SplitAt(s, L" ", true);
        const int hour = ParseInt(SplitAt(time, L":", true)).value_or(0);
        const int minute = ParseInt(SplitAt(time, L":", true)).value_or(0);
        const int second = ParseInt(time).value_or(0);
        const auto t = EncodeTime(hour, minute, second);
        if (!t) return std::nullopt;
        *value += *t;
    }
    s = TrimLeft(s);
    return value;
}

} // namespace

std::wstring SplitAt(std::wstring& text, const std::wstring& separator, bool cut) {
    const size_t at = text.find(separator);
    if (at == std::wstring::npos) {
        std::wstring head = text;
        if (cut) text.clear();
        return head;
    }
    std::wstring head = text.substr(0, at);
    if (cut) text.erase(0, at + separator.size());
    return head;
}

int LookupName(const std::wstring& text, const std::vector<std::wstring>& names) {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == text) return static_cast<int>(i);
    return -1;
}

DateTime TimeZoneOffsetToDateTime(const std::wstring& text) {
    const std::wstring zone = Mid(Trim(text), 0, 5);
    if (zone.empty() || (zone[0] != L'+' && zone[0] != L'-')) return 0;
    const auto hours = ParseInt(Mid(zone, 1, 2)), minutes = ParseInt(Mid(zone, 3, 2));
    if (!hours || !minutes) return 0;
    const auto offset = EncodeTime(*hours, *minutes, 0);
    if (!offset) return 0;
    return zone[0] == L'-' ? -*offset : *offset;
}

DateTime HTTPDateToDateTime(const std::wstring& text, DateTime localBias) {
    std::wstring s = Trim(text);
    if (s.empty()) return 0;
    std::optional<DateTime> date = ReadDateAndTime(s);
    // GMT, UTC and other names are shorter than a numeric offset and count as 0.
    const DateTime zone = s.size() >= 5 ? TimeZoneOffsetToDateTime(s) : 0;
    // At either end of the calendar the zone or the bias can carry a date
    // past year 1 or 9999, where no date-time of the program stands for it:
    // such a date does not exist either.
    if (date && !DecodeDateTime(*date - zone - localBias)) date.reset();
    return date.value_or(0) - zone - localBias;
}

} // namespace au
