#include "upgrade/upgrade_rules.h"

#include <cwchar>
#include <cwctype>
#include <vector>

#include "net/percent.h"
#include "net/text.h"
#include "net/url_text.h"
#include "net/versions.h"

namespace au {
namespace {

// Digits from `pos` on, at most `maxDigits`; nullopt when there are none.
std::optional<int> ReadNumber(const std::wstring& text, size_t& pos, size_t maxDigits = 4) {
    const size_t start = pos;
    int value = 0;
    while (pos < text.size() && pos - start < maxDigits && text[pos] >= L'0' && text[pos] <= L'9')
        value = value * 10 + (text[pos++] - L'0');
    if (pos == start) return std::nullopt;
    return value;
}

bool Skip(const std::wstring& text, size_t& pos, wchar_t c) {
    if (pos < text.size() && text[pos] == c) { ++pos; return true; }
    return false;
}

void SkipBlanks(const std::wstring& text, size_t& pos) {
    while (pos < text.size() && text[pos] == L' ') ++pos;
}

// Hours, minutes and optional seconds from `pos` to the end.
std::optional<DateTime> ReadTime(const std::wstring& text, size_t& pos, wchar_t separator) {
    const auto hour = ReadNumber(text, pos, 2);
    if (!hour || !Skip(text, pos, separator)) return std::nullopt;
    const auto minute = ReadNumber(text, pos, 2);
    if (!minute) return std::nullopt;
    int second = 0;
    if (Skip(text, pos, separator)) {
        const auto s = ReadNumber(text, pos, 2);
        if (!s) return std::nullopt;
        second = *s;
    }
    return EncodeTime(*hour, *minute, second);
}

int FullYear(int year, size_t digits, int currentYear) {
    if (digits > 2) return year;
    // Within fifty years of the current one, either side.
    int full = currentYear / 100 * 100 + year;
    if (full > currentYear + 50) full -= 100;
    else if (full <= currentYear - 50) full += 100;
    return full;
}

bool IsReservedDeviceName(const std::wstring& name) {
    std::wstring base = UpperAscii(name.substr(0, name.find(L'.')));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (base == device) return true;
    // Windows counts the Latin-1 superscripts one to three as digits here,
    // so "COM\u00B9.exe" opens a serial port as surely as "COM1.exe".
    if (base.size() != 4 || !(base.starts_with(L"COM") || base.starts_with(L"LPT"))) return false;
    const wchar_t digit = base[3];
    return (digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

} // namespace

LocaleDateFormat DateFormatOf(const std::wstring& shortDatePicture, const std::wstring& timeSeparator) {
    LocaleDateFormat format;
    std::wstring letters;
    bool separatorSeen = false;
    for (size_t i = 0; i < shortDatePicture.size(); ++i) {
        const wchar_t c = shortDatePicture[i];
        const wchar_t lower = static_cast<wchar_t>(std::towlower(c));
        if (lower == L'y' || lower == L'm' || lower == L'd') {
            if (letters.find(lower) == std::wstring::npos) letters += lower;
        } else if (c == L'\'') {
            // A quoted literal: skip it whole.
            const size_t close = shortDatePicture.find(L'\'', i + 1);
            i = close == std::wstring::npos ? shortDatePicture.size() : close;
        } else if (!separatorSeen && !letters.empty() && c != L' ') {
            format.dateSeparator = c;
            separatorSeen = true;
        }
    }
    if (letters.starts_with(L"d")) format.order = LocaleDateFormat::DayMonthYear;
    else if (letters.starts_with(L"m")) format.order = LocaleDateFormat::MonthDayYear;
    else format.order = LocaleDateFormat::YearMonthDay;
    if (!timeSeparator.empty()) format.timeSeparator = timeSeparator[0];
    return format;
}

std::optional<DateTime> ParseLocaleDateTime(const std::wstring& text, const LocaleDateFormat& format,
                                            int currentYear) {
    size_t pos = 0;
    SkipBlanks(text, pos);
    int numbers[3] = {0, 0, 0};
    size_t digits[3] = {0, 0, 0};
    int count = 0;
    while (count < 3) {
        const size_t start = pos;
        const auto n = ReadNumber(text, pos);
        if (!n) return std::nullopt;
        numbers[count] = *n;
        digits[count] = pos - start;
        ++count;
        if (!Skip(text, pos, format.dateSeparator)) break;
    }
    if (count < 2) return std::nullopt;
    int year = currentYear, month = 0, day = 0;
    size_t yearDigits = 4;
    if (count == 2) {
        const bool dayFirst = format.order == LocaleDateFormat::DayMonthYear;
        month = numbers[dayFirst ? 1 : 0];
        day = numbers[dayFirst ? 0 : 1];
    } else {
        // Where the year, the month and the day stand in each order.
        const int at[3][3] = {{2, 1, 0}, {2, 0, 1}, {0, 1, 2}};  // DayMonthYear, MonthDayYear, YearMonthDay
        const int* place = at[format.order];
        year = numbers[place[0]];
        yearDigits = digits[place[0]];
        month = numbers[place[1]];
        day = numbers[place[2]];
        year = FullYear(year, yearDigits, currentYear);
    }
    const auto date = EncodeDate(year, month, day);
    if (!date) return std::nullopt;
    DateTime time = 0;
    SkipBlanks(text, pos);
    if (pos < text.size()) {
        const auto t = ReadTime(text, pos, format.timeSeparator);
        if (!t) return std::nullopt;
        time = *t;
        SkipBlanks(text, pos);
    }
    if (pos != text.size()) return std::nullopt;
    return *date + time;
}

std::wstring FormatVersionDate(const CivilTime& t) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return text;
}

std::optional<DateTime> ParseVersionDate(const std::wstring& text) {
    const LocaleDateFormat own{LocaleDateFormat::YearMonthDay, L'-', L':'};
    size_t pos = 0;
    SkipBlanks(text, pos);
    // Only a four-digit year: the pattern never writes a short one.
    if (text.size() < pos + 4 || text.find(L'-', pos) != pos + 4) return std::nullopt;
    return ParseLocaleDateTime(text, own, 2000);
}

DateTime VersionDateValue(const std::wstring& text, const LocaleDateFormat& format, DateTime today) {
    const auto civil = DecodeDateTime(today);
    if (auto value = ParseLocaleDateTime(text, format, civil ? civil->year : 2000)) return *value;
    if (auto value = ParseVersionDate(text)) return *value;
    return static_cast<DateTime>(static_cast<int64_t>(today));
}

bool ServerIsNewer(TauAutoUpgraderVersionControl mode, const std::wstring& remoteNumber,
                   const std::wstring& localNumber, DateTime remoteDate, DateTime localDate) {
    if (mode == byNumber) return CompareVersions(remoteNumber, localNumber) > 0;
    return localDate < remoteDate;
}

std::optional<std::wstring> DownloadFileName(const std::wstring& url) {
    const std::wstring address = url.substr(0, url.find_first_of(L"?#"));
    std::wstring name = DecodeURLEscapes(URLToFileName(address));
    for (wchar_t& c : name)
        if (c < 32 || std::wcschr(L"<>:\"/\\|?*", c)) c = L'_';
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
    if (name.empty()) return std::nullopt;
    if (IsReservedDeviceName(name)) name.insert(0, 1, L'_');
    return name;
}

bool FetchUnderSizeRule(TacMiscFilesUpgradeBehavior behavior, uint32_t contentLength, size_t queueLength,
                        const std::wstring& localName, const std::wstring& programName,
                        std::optional<int64_t> localSize) {
    if (behavior != mfuOnlyIfSizeDifferent || contentLength == 0 || queueLength <= 1) return true;
    if (LowerAscii(FileNamePart(localName)) == LowerAscii(FileNamePart(programName))) return true;
    if (!localSize) return true;
    return *localSize != static_cast<int64_t>(contentLength);
}

uint8_t TotalPercentsDone(uint8_t percentsDone, int32_t index, int32_t count) {
    if (count <= 0) return 0;
    return static_cast<uint8_t>(percentsDone / count + CalcPercent(index, count));
}

std::wstring UnreachableHostText(const std::wstring& url, const std::wstring& hostName) {
    const size_t scheme = url.find(L"://");
    return L"'" + (scheme == std::wstring::npos ? std::wstring(L"http://") : url.substr(0, scheme + 3)) + hostName +
           L"'";
}

} // namespace au
