#include <windows.h>

#include "http_date.h"

namespace au {

DateTime LocalTimeBias() {
    TIME_ZONE_INFORMATION zone{};
    const DWORD state = ::GetTimeZoneInformation(&zone);
    if (state == TIME_ZONE_ID_INVALID) return 0;
    const LONG minutes = zone.Bias + (state == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : zone.StandardBias);
    return minutes / kMinutesPerDay;
}

DateTime HTTPDateToDateTime(const std::wstring& text) { return HTTPDateToDateTime(text, LocalTimeBias()); }

} // namespace au
