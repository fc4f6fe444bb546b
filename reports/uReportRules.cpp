#include "uReportRules.h"

#include <cmath>
#include <cwchar>

namespace reports {
namespace {

constexpr double kMillisecondsPerDay = 86400000.0;
constexpr std::uint32_t kPlainDirectory = 0x10;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 in the proleptic Gregorian calendar (H. Hinnant's
// civil-date algorithm), and back.
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const long long kEpochOffset = DaysFromCivil(1899, 12, 30);
const long long kFirstDay = DaysFromCivil(1, 1, 1) - kEpochOffset;      // -693593
const long long kLastDay = DaysFromCivil(9999, 12, 31) - kEpochOffset;  // 2958465

} // namespace

bool IsReportTypeDirectory(std::uint32_t attributes) { return attributes == kPlainDirectory; }
bool IsReportFileEntry(std::uint32_t attributes) { return attributes != kPlainDirectory; }

bool IsLaterReportTime(double candidate, double current) {
    return (candidate - current) * kMillisecondsPerDay >= 1.0;
}

double EncodeDate(int year, int month, int day) {
    return static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset);
}

double DosDateTimeToDateTime(std::uint16_t dosDate, std::uint16_t dosTime) {
    const int year = 1980 + (dosDate >> 9);
    const int month = (dosDate >> 5) & 0x0F;
    const int day = dosDate & 0x1F;
    const int hour = dosTime >> 11;
    const int minute = (dosTime >> 5) & 0x3F;
    const int second = (dosTime & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return 0.0;
    if (hour > 23 || minute > 59 || second > 59) return 0.0;
    return EncodeDate(year, month, day) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

std::wstring FormatReportDateTime(double value, const std::wstring& timeSeparator) {
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6) value = 0.0;  // far beyond the calendar: the zero date
    // Whole days count from the epoch; the fraction is the time of day even
    // for dates before it, as the date-time type defines it.
    double whole = std::trunc(value);
    long long ms = std::llround(std::fabs(value - whole) * kMillisecondsPerDay);
    long long days = static_cast<long long>(whole);
    if (ms >= static_cast<long long>(kMillisecondsPerDay)) {
        ms -= static_cast<long long>(kMillisecondsPerDay);
        days += value < 0 ? -1 : 1;
    }
    // Outside the years 1 to 9999 the year would take more than four digits
    // or a sign; the date-time type has no such days either.
    if (days < kFirstDay || days > kLastDay) days = ms = 0;
    int y, m, d;
    CivilFromDays(days + kEpochOffset, y, m, d);
    const long long secs = ms / 1000;
    wchar_t date[32];
    std::swprintf(date, 32, L"%04d-%02d-%02d ", y, m, d);
    wchar_t hh[8], mm[8], ss[8];
    std::swprintf(hh, 8, L"%02d", static_cast<int>(secs / 3600));
    std::swprintf(mm, 8, L"%02d", static_cast<int>(secs / 60 % 60));
    std::swprintf(ss, 8, L"%02d", static_cast<int>(secs % 60));
    return date + std::wstring(hh) + timeSeparator + mm + timeSeparator + ss;
}

bool IsUtf8SettingsText(const std::string& bytes) {
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return true;
    bool nonAscii = false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c == 0) return false;  // UTF-16 or binary, never UTF-8 settings text
        if (c < 0x80) { ++i; continue; }
        nonAscii = true;
        size_t len;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) len = 2;
        else if (c == 0xE0) { len = 3; lo = 0xA0; }
        else if (c >= 0xE1 && c <= 0xEC) len = 3;
        else if (c == 0xED) { len = 3; hi = 0x9F; }  // no surrogates
        else if (c >= 0xEE && c <= 0xEF) len = 3;
        else if (c == 0xF0) { len = 4; lo = 0x90; }
        else if (c >= 0xF1 && c <= 0xF3) len = 4;
        else if (c == 0xF4) { len = 4; hi = 0x8F; }
        else return false;
        if (i + len > n) return false;
        if (p[i + 1] < lo || p[i + 1] > hi) return false;
        for (size_t k = 2; k < len; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF) return false;
        i += len;
    }
    return nonAscii;
}

namespace {

std::wstring Trim(const std::wstring& s) {
    const wchar_t* blanks = L" \t\r";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::wstring::npos) return {};
    size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

} // namespace

std::optional<std::wstring> FindProfileValue(
    const std::wstring& text, const std::wstring& section, const std::wstring& key,
    const std::function<bool(const std::wstring&, const std::wstring&)>& sameName) {
    enum { Before, Inside, After } state = Before;
    size_t start = text.empty() || text[0] != L'\xFEFF' ? 0 : 1;
    while (start <= text.size() && state != After) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == L';') continue;
        if (line[0] == L'[') {
            if (state == Inside) { state = After; break; }
            size_t close = line.find_last_of(L']');
            std::wstring name = Trim(line.substr(1, close == std::wstring::npos || close == 0 ? std::wstring::npos : close - 1));
            if (sameName(name, section)) state = Inside;
            continue;
        }
        if (state != Inside) continue;
        size_t eq = line.find(L'=');
        if (!sameName(Trim(line.substr(0, eq)), key)) continue;
        std::wstring value = eq == std::wstring::npos ? std::wstring() : Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

std::wstring DeleteConfirmationText(const std::wstring& reportTypeName, const std::wstring& fileName) {
    return L"尊敬的纳税人，确定要删除<" + reportTypeName + L">的报表文件[" + fileName + L"]吗?一旦删除将无法恢复！";
}

} // namespace reports
