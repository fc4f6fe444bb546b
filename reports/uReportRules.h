// The rules of the report catalogue and window that need no file system or
// window: comparing report times, turning an MS-DOS date/time pair into a
// date-time, formatting it for the list and assembling the confirmation.
// Date-time values count days since 1899-12-30 in local time; the fraction is
// the time of day.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace reports {

// The attribute value as a whole decides, it is not bit-tested: only a
// directory carrying no other attribute bit (value 16) is a report type, and
// inside a type every entry but such a directory counts as a report file.
bool IsReportTypeDirectory(std::uint32_t attributes);
bool IsReportFileEntry(std::uint32_t attributes);

// Two times less than one millisecond apart count as the same moment, so a
// file only replaces the shown one when it is really newer.
bool IsLaterReportTime(double candidate, double current);

// Days since 1899-12-30 for a calendar date; the date must be valid.
double EncodeDate(int year, int month, int day);

// The date from the high word, the time from the low word (two-second steps).
// A pair that names no valid date or time gives 0 (1899-12-30 00:00:00), the
// same value as a file whose time could not be read.
double DosDateTimeToDateTime(std::uint16_t dosDate, std::uint16_t dosTime);

// "yyyy-MM-dd hh:mm:ss", 24-hour clock, each ':' replaced by `timeSeparator`.
// A value outside the years 1 to 9999 shows the zero date.
std::wstring FormatReportDateTime(double value, const std::wstring& timeSeparator);

// True for settings-file bytes saved as UTF-8: with its byte-order mark, or
// without one when the text holds non-ASCII bytes that are strictly valid
// UTF-8 (no overlong forms, no surrogates). Text in the Chinese ANSI code page
// practically never passes that test, so such files stay with the platform.
bool IsUtf8SettingsText(const std::string& bytes);

// Looks a key up in INI text the way the platform's profile functions do: the
// first section of that name, the first key of that name in it (names
// compared by `sameName`), blanks around names and values dropped, and one
// pair of matching quotes around the value removed. Lines starting with ';'
// are comments. No value when section or key is missing.
std::optional<std::wstring> FindProfileValue(
    const std::wstring& text, const std::wstring& section, const std::wstring& key,
    const std::function<bool(const std::wstring&, const std::wstring&)>& sameName);

// The question asked before a report file is deleted.
std::wstring DeleteConfirmationText(const std::wstring& reportTypeName, const std::wstring& fileName);

} // namespace reports
