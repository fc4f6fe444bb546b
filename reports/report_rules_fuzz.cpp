// What the report window reads from the disk: the MS-DOS date and time of
// a report file, the attributes of its directory entry and the bytes of
// the settings file that names the report types. A file time shows as
// "yyyy-MM-dd hh:mm:ss" and gives back its fields, the settings file's
// encoding is judged as a strict UTF-8 decoder judges it, and a looked-up
// name is a piece of the settings text taken from the first section of
// that name. Input: a selector byte, then the bytes of the case.
#include <iconv.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "reports/uReportRules.h"

using namespace reports;

namespace {

using fuzz::Reader;

bool Digits(const std::wstring& s, size_t at, size_t count, int& out) {
    if (at + count > s.size()) return false;
    out = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (s[i] < L'0' || s[i] > L'9') return false;
        out = out * 10 + (s[i] - L'0');
    }
    return true;
}

struct Shown {
    int year, month, day, hour, minute, second;
};

// "yyyy-MM-dd hh<sep>mm<sep>ss", read back into its fields.
bool ReadShown(const std::wstring& s, const std::wstring& sep, Shown& f) {
    const size_t t = 11, m = t + 2 + sep.size(), sec = m + 2 + sep.size();
    return s.size() == sec + 2 && Digits(s, 0, 4, f.year) && s[4] == L'-' && Digits(s, 5, 2, f.month) &&
           s[7] == L'-' && Digits(s, 8, 2, f.day) && s[10] == L' ' && Digits(s, t, 2, f.hour) &&
           s.compare(t + 2, sep.size(), sep) == 0 && Digits(s, m, 2, f.minute) &&
           s.compare(m + 2, sep.size(), sep) == 0 && Digits(s, sec, 2, f.second);
}

bool ValidShown(const Shown& f) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (f.year < 1 || f.month < 1 || f.month > 12 || f.day < 1) return false;
    const bool leap = (f.year % 4 == 0 && f.year % 100 != 0) || f.year % 400 == 0;
    return f.day <= kDays[f.month - 1] + (f.month == 2 && leap) && f.hour < 24 && f.minute < 60 && f.second < 60;
}

void FuzzDosTime(Reader& in) {
    const uint16_t dosDate = in.Take<uint16_t>(), dosTime = in.Take<uint16_t>();
    const double v = DosDateTimeToDateTime(dosDate, dosTime);
    FUZZ_CHECK(v == DosDateTimeToDateTime(dosDate, dosTime), "the same pair gives the same time");
    const Shown fields{1980 + (dosDate >> 9), (dosDate >> 5) & 0x0F, dosDate & 0x1F,
                       dosTime >> 11,         (dosTime >> 5) & 0x3F, (dosTime & 0x1F) * 2};
    Shown shown{};
    FUZZ_CHECK(ReadShown(FormatReportDateTime(v, L":"), L":", shown), "a file time shows as yyyy-MM-dd hh:mm:ss");
    if (ValidShown(fields)) {
        FUZZ_CHECK(std::memcmp(&shown, &fields, sizeof shown) == 0, "a valid file time shows its own fields");
    } else {
        FUZZ_CHECK(v == 0.0, "a pair naming no date or time gives 0");
    }
    FUZZ_CHECK(IsReportFileEntry(dosDate) == !IsReportTypeDirectory(dosDate),
               "an entry inside a type is a report file exactly when it is no plain directory");
    FUZZ_CHECK(IsReportTypeDirectory(dosDate) == (dosDate == 16), "only the attribute value 16 is a report type");
}

void FuzzTimeValue(Reader& in) {
    // Either any double, or whole days around the calendar's ends and a time of day.
    double v = 0;
    if (in.Byte() & 1) {
        v = in.Take<int32_t>() % 3100000 + in.Take<uint16_t>() / 65536.0;
    } else {
        v = in.Take<double>();
    }
    std::wstring sep;
    while (in.n > 0 && sep.size() < 4) {
        const uint8_t c = in.Byte();
        sep += c < 0x80 ? static_cast<wchar_t>(c) : L'\x65F6';
    }
    const std::wstring text = FormatReportDateTime(v, sep);
    FUZZ_CHECK(text == FormatReportDateTime(v, sep), "the same time gives the same text");
    Shown f{};
    FUZZ_CHECK(ReadShown(text, sep, f), "any time shows as yyyy-MM-dd hh:mm:ss");
    FUZZ_CHECK(ValidShown(f), "any time shows a real date and time of day");
    const bool later = IsLaterReportTime(v, 0.0);
    FUZZ_CHECK(!(later && IsLaterReportTime(0.0, v)), "of two times at most one is later");
}

bool StrictUtf8(const std::string& bytes) {
    static const iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
    FUZZ_CHECK(cd != reinterpret_cast<iconv_t>(-1), "the reference decoder opens");
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size(), outLeft = out.size();
    char* o = out.data();
    return iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
}

void FuzzSettingsBytes(Reader& in) {
    const std::string bytes(reinterpret_cast<const char*>(in.p), in.n);
    const bool utf8 = IsUtf8SettingsText(bytes);
    FUZZ_CHECK(utf8 == IsUtf8SettingsText(bytes), "the same bytes are judged alike");
    bool nonAscii = false;
    for (unsigned char c : bytes) nonAscii |= c >= 0x80;
    const bool mark = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const bool expected =
        mark || (nonAscii && bytes.find('\0') == std::string::npos && StrictUtf8(bytes));
    FUZZ_CHECK(utf8 == expected, "settings bytes count as UTF-8 exactly when a strict decoder accepts them");
}

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    return true;
}

// A name a settings file can hold: nothing the line rules would cut off.
bool PlainName(const std::wstring& s, bool isKey) {
    if (s.empty() || s.find_first_of(L"\n\r") != std::wstring::npos) return false;
    if (s.front() == L' ' || s.front() == L'\t' || s.back() == L' ' || s.back() == L'\t') return false;
    if (s.front() == L';' || s.front() == L'[' || s.front() == L'\xFEFF') return false;
    return !isKey || s.find(L'=') == std::wstring::npos;
}

void FuzzLookup(Reader& in) {
    // Section and key on the first two lines, the settings text after them.
    std::wstring parts[3];
    int at = 0;
    for (size_t i = 0; i < in.n; ++i) {
        const unsigned char c = in.p[i];
        if (c == '\n' && at < 2) {
            ++at;
            continue;
        }
        parts[at] += c == 0xFE ? L'\xFEFF' : c >= 0x80 ? static_cast<wchar_t>(0x4E00 + c) : static_cast<wchar_t>(c);
    }
    const std::wstring &section = parts[0], &key = parts[1], &text = parts[2];
    const auto value = FindProfileValue(text, section, key, SameIgnoringCase);
    FUZZ_CHECK(value == FindProfileValue(text, section, key, SameIgnoringCase), "the same text gives the same value");
    if (value) {
        FUZZ_CHECK(text.find(*value) != std::wstring::npos, "a value is a piece of the settings text");
        FUZZ_CHECK(value->find(L'\n') == std::wstring::npos, "a value stays on its line");
        FUZZ_CHECK(FindProfileValue(text + L"\n[" + section + L"]\n" + key + L"=later\n", section, key,
                                    SameIgnoringCase) == value,
                   "only the first section of a name counts");
    }
    if (PlainName(section, false) && PlainName(key, true)) {
        FUZZ_CHECK(FindProfileValue(L"[" + section + L"]\n" + key + L"=first\n" + text, section, key,
                                    SameIgnoringCase) == L"first",
                   "the first key of the first section of a name is found");
        // A first section of the name without the key hides the key in later ones.
        FUZZ_CHECK(!FindProfileValue(L"[" + section + L"]\n" + key + L"x=1\n[" + section + L"x]\n" + text, section, key,
                                     SameIgnoringCase),
                   "a key missing from the first section of a name is missing");
        std::wstring upper = key;
        for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
        FUZZ_CHECK(FindProfileValue(text, section, upper, SameIgnoringCase) == value,
                   "names are compared by the caller's rule");
    }
    const std::wstring question = DeleteConfirmationText(section, key);
    FUZZ_CHECK(question.find(L"<" + section + L">") != std::wstring::npos &&
                   question.find(L"[" + key + L"]") != std::wstring::npos,
               "the question names the report type and the file");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    switch (in.Byte() % 4) {
    case 0: FuzzDosTime(in); break;
    case 1: FuzzTimeValue(in); break;
    case 2: FuzzSettingsBytes(in); break;
    default: FuzzLookup(in); break;
    }
    return 0;
}
