// The decisions of the upgrade that need no platform call: whether the
// server's version is newer, the local name of a downloaded file, the size
// rule, the overall percentage, the restart argument and the command line
// of the self-upgrade program. Free of platform headers.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "net/date_time.h"
#include "upgrade/upgrade_types.h"

namespace au {

// How the user's locale writes a short date and a time.
struct LocaleDateFormat {
    enum Order { DayMonthYear, MonthDayYear, YearMonthDay } order = YearMonthDay;
    wchar_t dateSeparator = L'/';
    wchar_t timeSeparator = L':';
};

// The order of a short-date picture such as "yyyy/M/d" or "dd.MM.yyyy": the
// first of y, M and d decides, as with the separator the first character
// between them.
LocaleDateFormat DateFormatOf(const std::wstring& shortDatePicture, const std::wstring& timeSeparator);

// A date-time written in the locale's order: three numbers (two: the year
// is `currentYear`; a two-digit year lies within 50 years of it) with the
// date separator, then optionally a blank and hours, minutes and seconds
// with the time separator. Surrounding blanks are allowed; nullopt for
// anything else or a date that does not exist.
std::optional<DateTime> ParseLocaleDateTime(const std::wstring& text, const LocaleDateFormat& format,
                                            int currentYear);

// The pattern the component writes its own version date in, whatever the
// locale: "2016-05-26 11:16:38".
std::wstring FormatVersionDate(const CivilTime& time);
std::optional<DateTime> ParseVersionDate(const std::wstring& text);

// A version date as the check reads it: in the locale's format, else in the
// component's own pattern (which the locale may not read), else today at
// midnight.
DateTime VersionDateValue(const std::wstring& text, const LocaleDateFormat& format, DateTime today);

// Whether the server's version is newer than the local one: by number,
// remote greater (CompareVersions); by date, local strictly earlier.
bool ServerIsNewer(TauAutoUpgraderVersionControl mode, const std::wstring& remoteNumber,
                   const std::wstring& localNumber, DateTime remoteDate, DateTime localDate);

// The name a downloaded file is kept under, without the directory and the
// ".uTMP": the address's last element with its query or fragment dropped,
// escapes decoded, and what a file name cannot hold replaced by "_", so the
// file always lands in the program's own directory. nullopt when the
// address names no file (it ends in "/", or only dots remain).
std::optional<std::wstring> DownloadFileName(const std::wstring& url);

// Whether a file goes on downloading under the size rule: always, unless
// the rule applies (mfuOnlyIfSizeDifferent, a known length, more than one
// file queued), the local counterpart is not the program itself and exists,
// and its size equals the announced length.
bool FetchUnderSizeRule(TacMiscFilesUpgradeBehavior behavior, uint32_t contentLength, size_t queueLength,
                        const std::wstring& localName, const std::wstring& programName,
                        std::optional<int64_t> localSize);

// The percent of the whole download: the current file's share of it plus
// the files before it (CalcPercent of index and count).
uint8_t TotalPercentsDone(uint8_t percentsDone, int32_t index, int32_t count);

// The host as the unreachable-host box names it, quoted: with the scheme
// the address was fetched by ("http://" for an address without one, as the
// request itself does), so an HTTPS address is not shown as plain HTTP.
std::wstring UnreachableHostText(const std::wstring& url, const std::wstring& hostName);

} // namespace au
