// The file logger's lines: any message bytes, any time separator the user
// set and any clock reading end up in the line exactly as given, the
// fields in fixed widths that read back as the clock's, and the level
// word from the settings file switches on only what it names.
// Input: a selector byte, seven clock fields of two bytes, then the
// separator, the message and the level word separated by newlines.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "log/log4me_format.h"

using log4me::Stamp;

namespace {

bool ReadDigits(const std::string& s, size_t at, size_t count, int& out) {
    if (at + count > s.size()) return false;
    out = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

bool ValidStamp(const Stamp& s) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (s.year < 1 || s.year > 9999 || s.month < 1 || s.month > 12 || s.day < 1) return false;
    const bool leap = (s.year % 4 == 0 && s.year % 100 != 0) || s.year % 400 == 0;
    return s.day <= kDays[s.month - 1] + (s.month == 2 && leap) && s.hour >= 0 && s.hour < 24 && s.minute >= 0 &&
           s.minute < 60 && s.second >= 0 && s.second < 60 && s.millisecond >= 0 && s.millisecond < 1000;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t at = 0;
    auto byte = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    const uint8_t mode = byte();
    int fields[7];
    for (int& f : fields) f = static_cast<int16_t>(byte() | byte() << 8);
    Stamp s{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]};
    if (mode & 1) {  // mostly a reading the platform's clock could give
        s.year = 1 + (static_cast<uint16_t>(s.year) % 9999);
        s.month = 1 + static_cast<uint16_t>(s.month) % 12;
        s.day = 1 + static_cast<uint16_t>(s.day) % 28;
        s.hour = static_cast<uint16_t>(s.hour) % 24;
        s.minute = static_cast<uint16_t>(s.minute) % 60;
        s.second = static_cast<uint16_t>(s.second) % 60;
        s.millisecond = static_cast<uint16_t>(s.millisecond) % 1000;
    }
    std::string texts[3];
    for (int k = 0; at < size; ++at) {
        if (data[at] == '\n' && k < 2) ++k;
        else texts[k] += static_cast<char>(data[at]);
    }
    const std::string &sep = texts[0], &message = texts[1], &level = texts[2];

    const std::string time = log4me::FormatTime(s, sep);
    const std::string day = log4me::FormatDay(s);
    const std::string line = log4me::FormatLogLine(s, sep, message);
    FUZZ_CHECK(line == log4me::FormatLogLine(s, sep, message), "the same message gives the same line");
    FUZZ_CHECK(line == time + " " + message + "\r\n", "a line is the time, a blank, the message whole and CR LF");
    FUZZ_CHECK(log4me::FormatFallbackLine(s, sep, message) == day + " " + time + " " + message + "\r\n",
               "a fallback entry is the date, the time, the message whole and CR LF");
    FUZZ_CHECK(log4me::DayFileName(message, s) == message + day + ".log", "a day's file is the directory, the date, .log");

    if (ValidStamp(s)) {
        Stamp back{};
        const size_t m = 2 + sep.size(), sec = m + 2 + sep.size();
        FUZZ_CHECK(time.size() == sec + 6 && ReadDigits(time, 0, 2, back.hour) && time.compare(2, sep.size(), sep) == 0 &&
                       ReadDigits(time, m, 2, back.minute) && time.compare(m + 2, sep.size(), sep) == 0 &&
                       ReadDigits(time, sec, 2, back.second) && time[sec + 2] == '.' &&
                       ReadDigits(time, sec + 3, 3, back.millisecond),
                   "a time is hh, nn, ss with the separator between and .zzz");
        FUZZ_CHECK(day.size() == 10 && ReadDigits(day, 0, 4, back.year) && day[4] == '-' &&
                       ReadDigits(day, 5, 2, back.month) && day[7] == '-' && ReadDigits(day, 8, 2, back.day),
                   "a day is yyyy-mm-dd");
        FUZZ_CHECK(std::memcmp(&back, &s, sizeof s) == 0, "the time and day show the clock's fields");

        // One millisecond later is later, and one second and more is a reload.
        Stamp next = s;
        if (++next.millisecond == 1000) next.millisecond = 0, ++next.second;
        if (next.second < 60) {
            const double a = log4me::ToDateTime(s), b = log4me::ToDateTime(next);
            FUZZ_CHECK(b > a, "a later reading is a later date-time");
            FUZZ_CHECK(!log4me::ReloadDue(a, b), "a millisecond is no reload");
        }
    }

    const log4me::Switches sw = log4me::SwitchesForLevel(level);
    const std::string word = Lower(level);
    FUZZ_CHECK(sw.debug == (word == "debug"), "only debug switches debug on");
    FUZZ_CHECK(sw.info == (word == "debug" || word == "info"), "debug and info switch info on");
    FUZZ_CHECK(sw.error == (word == "debug" || word == "info" || word == "error"), "every known level logs errors");
    return 0;
}
