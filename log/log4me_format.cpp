#include "log/log4me_format.h"

#include <cstdio>

namespace log4me {
namespace {

std::string Digits(int value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    return buf;
}

// Days from 1970-01-01 to a proleptic Gregorian date.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

} // namespace

Switches SwitchesForLevel(const std::string& level) {
    std::string lower = level;
    // Only ASCII letters fold: the recognised words are ASCII, and folding
    // DBCS lead/trail bytes would corrupt them.
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    Switches s;
    if (lower == "debug") {
        s.error = s.info = s.debug = true;
    } else if (lower == "info") {
        s.error = s.info = true;
    } else if (lower == "error") {
        s.error = true;
    }
    return s;
}

std::string FormatTime(const Stamp& s, const std::string& timeSep) {
    return Digits(s.hour, 2) + timeSep + Digits(s.minute, 2) + timeSep + Digits(s.second, 2) + "." +
           Digits(s.millisecond, 3);
}

std::string FormatDay(const Stamp& s) {
    return Digits(s.year, 4) + "-" + Digits(s.month, 2) + "-" + Digits(s.day, 2);
}

std::string DayFileName(const std::string& logDir, const Stamp& s) {
    return logDir + FormatDay(s) + ".log";
}

std::string FormatLogLine(const Stamp& s, const std::string& timeSep, const std::string& taggedMessage) {
    return FormatTime(s, timeSep) + " " + taggedMessage + "\r\n";
}

std::string FormatFallbackLine(const Stamp& s, const std::string& timeSep, const std::string& message) {
    return FormatDay(s) + " " + FormatTime(s, timeSep) + " " + message + "\r\n";
}

double ToDateTime(const Stamp& s) {
    static const long long kEpoch = DaysFromCivil(1899, 12, 30);
    const long long days = DaysFromCivil(s.year, static_cast<unsigned>(s.month), static_cast<unsigned>(s.day)) - kEpoch;
    const double ms = ((s.hour * 60.0 + s.minute) * 60.0 + s.second) * 1000.0 + s.millisecond;
    return static_cast<double>(days) + ms / 86400000.0;
}

bool ReloadDue(double lastLoad, double now) {
    return now - lastLoad > 1.0 / 86400.0;
}

} // namespace log4me
