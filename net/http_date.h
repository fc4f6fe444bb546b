// Reading the dates of HTTP headers (Date, Last-Modified, Expires) into local
// date-times. The parsing takes the local bias as an argument so it stays
// free of platform calls; the one-argument form asks the platform for it.
#pragma once
#include <string>
#include <vector>

#include "date_time.h"

namespace au {

// Any of the three forms HTTP/1.1 allows ("Sun, 06 Nov 1994 08:49:37 GMT",
// "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994") as local time:
// the zone offset of the text and the local bias (UTC = local + bias, in
// days) are both taken off. An empty text gives 0; a date or time that does
// not exist, or that the offsets would carry outside years 1 to 9999, counts
// as 0 before the offsets are applied.
DateTime HTTPDateToDateTime(const std::wstring& text, DateTime localBias);
DateTime HTTPDateToDateTime(const std::wstring& text);

// "+hhmm" or "-hhmm" (the first five characters of the trimmed text) as a
// signed day fraction; 0 for any other text or for digits that are no time.
DateTime TimeZoneOffsetToDateTime(const std::wstring& text);

// The machine's bias from UTC now, daylight saving included, in days.
DateTime LocalTimeBias();

// The text before the first `separator`; with `cut` the text becomes what
// follows it (empty when there is none).
std::wstring SplitAt(std::wstring& text, const std::wstring& separator, bool cut);

// Index of the first entry exactly equal to `text`, or -1.
int LookupName(const std::wstring& text, const std::vector<std::wstring>& names);

} // namespace au
