// Text and time rules of the log4me file logger that need no platform calls,
// kept apart so they can be checked without touching files or the clock.
#pragma once
#include <string>

namespace log4me {

// A local wall-clock reading, as the platform reports it.
struct Stamp {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

struct Switches {
    bool error = false;
    bool info = false;
    bool debug = false;
};

// Switches for a "level" value from the settings file; case does not matter,
// and an unknown word turns everything off rather than guessing.
Switches SwitchesForLevel(const std::string& level);

// "hh:nn:ss.zzz" with the user's time separator in place of the colons.
std::string FormatTime(const Stamp& s, const std::string& timeSep);
// "yyyy-mm-dd"
std::string FormatDay(const Stamp& s);

// Directory text is used as it stands: it already ends with '\' or is empty.
std::string DayFileName(const std::string& logDir, const Stamp& s);
// time, blank, tagged message, CR LF
std::string FormatLogLine(const Stamp& s, const std::string& timeSep, const std::string& taggedMessage);
// date, blank, time, blank, message, CR LF
std::string FormatFallbackLine(const Stamp& s, const std::string& timeSep, const std::string& message);

// Days since 1899-12-30 with the time of day as fraction, the date-time
// arithmetic the reload interval is defined in.
double ToDateTime(const Stamp& s);
// True when strictly more than one second separates the two date-times.
bool ReloadDue(double lastLoad, double now);

} // namespace log4me
