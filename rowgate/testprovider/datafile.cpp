#include "datafile.h"

#include <oleauto.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <fstream>
#include <sstream>

#include "common.h"
#include "win/strings.h"

namespace tp {
namespace {

struct TypeEntry {
    const wchar_t* name;
    DBTYPE type;
};
constexpr TypeEntry kTypes[] = {
    {L"I1", DBTYPE_I1},         {L"I2", DBTYPE_I2},         {L"I4", DBTYPE_I4},
    {L"I8", DBTYPE_I8},         {L"UI1", DBTYPE_UI1},       {L"UI2", DBTYPE_UI2},
    {L"UI4", DBTYPE_UI4},       {L"UI8", DBTYPE_UI8},       {L"R4", DBTYPE_R4},
    {L"R8", DBTYPE_R8},         {L"CY", DBTYPE_CY},         {L"DATE", DBTYPE_DATE},
    {L"BSTR", DBTYPE_BSTR},     {L"ERROR", DBTYPE_ERROR},   {L"BOOL", DBTYPE_BOOL},
    {L"GUID", DBTYPE_GUID},     {L"BYTES", DBTYPE_BYTES},   {L"STR", DBTYPE_STR},
    {L"WSTR", DBTYPE_WSTR},     {L"NUMERIC", DBTYPE_NUMERIC}, {L"DECIMAL", DBTYPE_DECIMAL},
    {L"DBDATE", DBTYPE_DBDATE}, {L"DBTIME", DBTYPE_DBTIME}, {L"DBTIMESTAMP", DBTYPE_DBTIMESTAMP},
    {L"VARIANT", DBTYPE_VARIANT},
};

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && _wcsicmp(a.c_str(), b.c_str()) == 0;
}

std::vector<std::wstring> Words(const std::wstring& s) {
    std::vector<std::wstring> out;
    std::wistringstream in(s);
    std::wstring w;
    while (in >> w) out.push_back(w);
    return out;
}

bool ParseInt64(const std::wstring& t, int64_t& v) {
    if (t.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    if (t.size() > 2 && t[0] == L'0' && (t[1] == L'x' || t[1] == L'X'))
        v = static_cast<int64_t>(wcstoull(t.c_str() + 2, &end, 16));
    else if (t[0] == L'-')
        v = wcstoll(t.c_str(), &end, 10);
    else
        v = static_cast<int64_t>(wcstoull(t.c_str(), &end, 10));
    return end && *end == 0 && errno == 0;
}

// Decimal text to an unsigned magnitude scaled by 10^scale.
bool ParseScaled(const std::wstring& t, int scale, uint64_t& magnitude, bool& negative) {
    size_t i = 0;
    negative = false;
    if (i < t.size() && (t[i] == L'-' || t[i] == L'+')) negative = t[i++] == L'-';
    uint64_t v = 0;
    int fraction = -1;
    bool digits = false;
    for (; i < t.size(); ++i) {
        wchar_t c = t[i];
        if (c == L'.' && fraction < 0) { fraction = 0; continue; }
        if (c < L'0' || c > L'9') return false;
        digits = true;
        if (fraction >= 0) {
            if (fraction >= scale) continue;  // extra places are cut off
            ++fraction;
        }
        v = v * 10 + static_cast<uint64_t>(c - L'0');
    }
    if (!digits) return false;
    for (int f = fraction < 0 ? 0 : fraction; f < scale; ++f) v *= 10;
    magnitude = v;
    return true;
}

bool ParseDateParts(const std::wstring& t, int& y, int& mo, int& d) {
    wchar_t tail = 0;
    return swscanf(t.c_str(), L"%d-%d-%d%lc", &y, &mo, &d, &tail) == 3;
}

bool ParseTimeParts(const std::wstring& t, int& h, int& mi, int& s) {
    wchar_t tail = 0;
    return swscanf(t.c_str(), L"%d:%d:%d%lc", &h, &mi, &s, &tail) == 3;
}

bool ParseStamp(const std::wstring& t, DBTIMESTAMP& ts) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    unsigned long frac = 0;
    wchar_t tail = 0;
    int n = swscanf(t.c_str(), L"%d-%d-%d %d:%d:%d.%lu%lc", &y, &mo, &d, &h, &mi, &s, &frac, &tail);
    if (n != 3 && n != 6 && n != 7) return false;
    ts = {static_cast<SHORT>(y), static_cast<USHORT>(mo), static_cast<USHORT>(d),
          static_cast<USHORT>(h), static_cast<USHORT>(mi), static_cast<USHORT>(s), frac};
    return true;
}

std::string Bytes(const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); }

template <typename T>
std::string Pod(const T& v) { return Bytes(&v, sizeof v); }

template <typename T>
T As(const std::string& raw) {
    T v{};
    std::memcpy(&v, raw.data(), raw.size() < sizeof v ? raw.size() : sizeof v);
    return v;
}

std::wstring FromRaw16(const std::string& raw) {
    return std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / 2);
}

std::wstring Escape(const std::wstring& s) {
    std::wstring out;
    for (wchar_t c : s) {
        switch (c) {
        case L'\\': out += L"\\\\"; break;
        case L'|': out += L"\\|"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        case L'\t': out += L"\\t"; break;
        default: out += c;
        }
    }
    return out;
}

std::wstring Decimal(uint64_t magnitude, int scale, bool negative) {
    std::wstring digits = std::to_wstring(magnitude);
    if (scale > 0) {
        if (static_cast<int>(digits.size()) <= scale) digits.insert(0, scale + 1 - digits.size(), L'0');
        digits.insert(digits.size() - scale, L".");
    }
    return (negative ? L"-" : L"") + digits;
}

std::wstring DateText(double date) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(date, &st)) {
        wchar_t b[64];
        swprintf(b, 64, L"%.17g", date);
        return b;
    }
    wchar_t b[64];
    swprintf(b, 64, L"%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond);
    return b;
}

// Splits a row's text at unescaped '|' and resolves the escapes.  Whole
// fields "\N", "\C" and "\R<n>*<text>" are kept verbatim for ParseField.
bool SplitRow(const std::wstring& s, std::vector<std::wstring>& fields, std::vector<bool>& literal,
              std::wstring& error) {
    std::wstring cur;
    bool lit = false;  // the field used an escape, so it cannot be a token
    std::wstring rawField;
    auto finish = [&] {
        fields.push_back(lit ? cur : rawField);
        literal.push_back(lit);
        cur.clear();
        rawField.clear();
        lit = false;
    };
    for (size_t i = 0; i < s.size(); ++i) {
        wchar_t c = s[i];
        if (c == L'|') { finish(); continue; }
        if (c != L'\\') { cur += c; rawField += c; continue; }
        if (i + 1 >= s.size()) { error = L"backslash at end of line"; return false; }
        wchar_t e = s[++i];
        rawField += L'\\';
        rawField += e;
        switch (e) {
        case L'\\': cur += L'\\'; lit = true; break;
        case L'|': cur += L'|'; lit = true; break;
        case L'n': cur += L'\n'; lit = true; break;
        case L'r': cur += L'\r'; lit = true; break;
        case L't': cur += L'\t'; lit = true; break;
        case L'u': {
            if (i + 4 >= s.size()) { error = L"short \\u escape"; return false; }
            std::wstring hex = s.substr(i + 1, 4);
            wchar_t* end = nullptr;
            unsigned long v = wcstoul(hex.c_str(), &end, 16);
            if (hex.size() != 4 || *end) { error = L"bad \\u escape"; return false; }
            cur += static_cast<wchar_t>(v);
            rawField += hex;
            i += 4;
            lit = true;
            break;
        }
        case L'N': case L'C': case L'R':
            cur += L'\\';
            cur += e;
            break;
        default: error = std::wstring(L"unknown escape \\") + e; return false;
        }
    }
    finish();
    return true;
}

} // namespace

std::shared_ptr<Table> Store::Find(const std::wstring& name) const {
    for (const auto& t : tables)
        if (EqualNoCase(t->name, name)) return t;
    return nullptr;
}

std::optional<HRESULT> Store::FaultFor(const Table* table, const char* call, int rowId) const {
    auto match = [&](const std::vector<Fault>& list) -> std::optional<HRESULT> {
        for (const auto& f : list)
            if (f.call == call && (f.row == 0 || f.row == rowId)) return f.hr;
        return std::nullopt;
    };
    if (table)
        if (auto hr = match(table->faults)) return hr;
    return match(faults);
}

size_t FixedSize(DBTYPE type) {
    switch (type) {
    case DBTYPE_I1: case DBTYPE_UI1: return 1;
    case DBTYPE_I2: case DBTYPE_UI2: case DBTYPE_BOOL: return 2;
    case DBTYPE_I4: case DBTYPE_UI4: case DBTYPE_R4: case DBTYPE_ERROR: return 4;
    case DBTYPE_I8: case DBTYPE_UI8: case DBTYPE_R8: case DBTYPE_CY: case DBTYPE_DATE: return 8;
    case DBTYPE_GUID: return sizeof(GUID);
    case DBTYPE_NUMERIC: return sizeof(DB_NUMERIC);
    case DBTYPE_DECIMAL: return sizeof(DECIMAL);
    case DBTYPE_DBDATE: return sizeof(DBDATE);
    case DBTYPE_DBTIME: return sizeof(DBTIME);
    case DBTYPE_DBTIMESTAMP: return sizeof(DBTIMESTAMP);
    case DBTYPE_BSTR: return sizeof(BSTR);
    case DBTYPE_VARIANT: return sizeof(VARIANT);
    default: return 0;
    }
}

std::wstring TypeName(DBTYPE type) {
    for (const auto& e : kTypes)
        if (e.type == type) return e.name;
    return std::to_wstring(type);
}

HRESULT ParseHresult(const std::string& text, bool& ok) {
    static const struct { const char* name; HRESULT hr; } kNames[] = {
        {"S_OK", S_OK},
        {"S_FALSE", S_FALSE},
        {"E_FAIL", E_FAIL},
        {"E_NOTIMPL", E_NOTIMPL},
        {"E_OUTOFMEMORY", E_OUTOFMEMORY},
        {"E_UNEXPECTED", E_UNEXPECTED},
        {"DB_S_ERRORSOCCURRED", DB_S_ERRORSOCCURRED},
        {"DB_E_ERRORSOCCURRED", DB_E_ERRORSOCCURRED},
        {"DB_S_ENDOFROWSET", DB_S_ENDOFROWSET},
        {"DB_E_NOTABLE", DB_E_NOTABLE},
        {"DB_E_DELETEDROW", DB_E_DELETEDROW},
        {"DB_E_INTEGRITYVIOLATION", DB_E_INTEGRITYVIOLATION},
        {"DB_E_CANCELED", DB_E_CANCELED},
        {"DB_S_ASYNCHRONOUS", DB_S_ASYNCHRONOUS},
    };
    ok = true;
    for (const auto& n : kNames)
        if (_stricmp(n.name, text.c_str()) == 0) return n.hr;
    char* end = nullptr;
    unsigned long v = strtoul(text.c_str(), &end, 0);
    ok = !text.empty() && end && *end == 0;
    return static_cast<HRESULT>(v);
}

bool ParseValue(const ColumnDef& col, const std::wstring& text, Cell& cell, std::wstring& error) {
    cell.state = CellState::Value;
    int64_t i = 0;
    auto needInt = [&](int64_t lo, int64_t hi) {
        if (!ParseInt64(text, i) || (lo <= hi && (i < lo || i > hi))) {
            error = L"bad integer '" + text + L"'";
            return false;
        }
        return true;
    };
    switch (col.type) {
    case DBTYPE_I1: if (!needInt(-128, 127)) return false; cell.raw = Pod(static_cast<int8_t>(i)); return true;
    case DBTYPE_UI1: if (!needInt(0, 255)) return false; cell.raw = Pod(static_cast<uint8_t>(i)); return true;
    case DBTYPE_I2: if (!needInt(-32768, 32767)) return false; cell.raw = Pod(static_cast<int16_t>(i)); return true;
    case DBTYPE_UI2: if (!needInt(0, 65535)) return false; cell.raw = Pod(static_cast<uint16_t>(i)); return true;
    case DBTYPE_I4: if (!needInt(INT32_MIN, INT32_MAX)) return false; cell.raw = Pod(static_cast<int32_t>(i)); return true;
    case DBTYPE_UI4: if (!needInt(0, UINT32_MAX)) return false; cell.raw = Pod(static_cast<uint32_t>(i)); return true;
    case DBTYPE_ERROR: if (!needInt(INT32_MIN, UINT32_MAX)) return false; cell.raw = Pod(static_cast<int32_t>(i)); return true;
    case DBTYPE_I8: if (!needInt(1, 0)) return false; cell.raw = Pod(i); return true;
    case DBTYPE_UI8: if (!needInt(1, 0)) return false; cell.raw = Pod(static_cast<uint64_t>(i)); return true;
    case DBTYPE_R4: case DBTYPE_R8: {
        wchar_t* end = nullptr;
        double d = wcstod(text.c_str(), &end);
        if (text.empty() || *end) { error = L"bad number '" + text + L"'"; return false; }
        cell.raw = col.type == DBTYPE_R4 ? Pod(static_cast<float>(d)) : Pod(d);
        return true;
    }
    case DBTYPE_CY: {
        uint64_t m = 0;
        bool neg = false;
        if (!ParseScaled(text, 4, m, neg)) { error = L"bad currency '" + text + L"'"; return false; }
        int64_t v = neg ? -static_cast<int64_t>(m) : static_cast<int64_t>(m);
        cell.raw = Pod(v);
        return true;
    }
    case DBTYPE_DATE: {
        DBTIMESTAMP ts{};
        if (ParseStamp(text, ts)) {
            SYSTEMTIME st{static_cast<WORD>(ts.year), static_cast<WORD>(ts.month), 0, static_cast<WORD>(ts.day),
                          ts.hour, ts.minute, ts.second, 0};
            double d = 0;
            if (!SystemTimeToVariantTime(&st, &d)) { error = L"bad date '" + text + L"'"; return false; }
            cell.raw = Pod(d);
            return true;
        }
        wchar_t* end = nullptr;
        double d = wcstod(text.c_str(), &end);
        if (text.empty() || *end) { error = L"bad date '" + text + L"'"; return false; }
        cell.raw = Pod(d);
        return true;
    }
    case DBTYPE_BOOL: {
        VARIANT_BOOL b;
        if (EqualNoCase(text, L"true") || text == L"1" || text == L"-1") b = VARIANT_TRUE;
        else if (EqualNoCase(text, L"false") || text == L"0") b = VARIANT_FALSE;
        else { error = L"bad boolean '" + text + L"'"; return false; }
        cell.raw = Pod(b);
        return true;
    }
    case DBTYPE_GUID: {
        GUID g{};
        std::wstring copy = text;
        if (FAILED(IIDFromString(copy.data(), &g))) { error = L"bad GUID '" + text + L"'"; return false; }
        cell.raw = Pod(g);
        return true;
    }
    case DBTYPE_BYTES: {
        if (text.size() % 2) { error = L"odd number of hex digits"; return false; }
        std::string bytes;
        for (size_t k = 0; k < text.size(); k += 2) {
            std::wstring h = text.substr(k, 2);
            wchar_t* end = nullptr;
            unsigned long v = wcstoul(h.c_str(), &end, 16);
            if (*end || !iswxdigit(h[0])) { error = L"bad hex '" + text + L"'"; return false; }
            bytes += static_cast<char>(v);
        }
        cell.raw = bytes;
        return true;
    }
    case DBTYPE_STR: cell.raw = win::ToAnsi(text); return true;
    case DBTYPE_WSTR: case DBTYPE_BSTR: case DBTYPE_VARIANT:
        cell.raw = Bytes(text.data(), text.size() * sizeof(wchar_t));
        return true;
    case DBTYPE_NUMERIC: {
        uint64_t m = 0;
        bool neg = false;
        int scale = col.scale == 0xFF ? 0 : col.scale;
        if (!ParseScaled(text, scale, m, neg)) { error = L"bad numeric '" + text + L"'"; return false; }
        DB_NUMERIC n{};
        n.precision = col.precision == 0xFF ? 19 : col.precision;
        n.scale = static_cast<BYTE>(scale);
        n.sign = neg ? 0 : 1;
        std::memcpy(n.val, &m, sizeof m);
        cell.raw = Pod(n);
        return true;
    }
    case DBTYPE_DECIMAL: {
        uint64_t m = 0;
        bool neg = false;
        int scale = col.scale == 0xFF ? 0 : col.scale;
        if (!ParseScaled(text, scale, m, neg)) { error = L"bad decimal '" + text + L"'"; return false; }
        DECIMAL d{};
        d.scale = static_cast<BYTE>(scale);
        d.sign = neg ? DECIMAL_NEG : 0;
        d.Lo64 = m;
        cell.raw = Pod(d);
        return true;
    }
    case DBTYPE_DBDATE: {
        int y = 0, mo = 0, d = 0;
        if (!ParseDateParts(text, y, mo, d)) { error = L"bad DBDATE '" + text + L"'"; return false; }
        DBDATE v{static_cast<SHORT>(y), static_cast<USHORT>(mo), static_cast<USHORT>(d)};
        cell.raw = Pod(v);
        return true;
    }
    case DBTYPE_DBTIME: {
        int h = 0, mi = 0, s = 0;
        if (!ParseTimeParts(text, h, mi, s)) { error = L"bad DBTIME '" + text + L"'"; return false; }
        DBTIME v{static_cast<USHORT>(h), static_cast<USHORT>(mi), static_cast<USHORT>(s)};
        cell.raw = Pod(v);
        return true;
    }
    case DBTYPE_DBTIMESTAMP: {
        DBTIMESTAMP ts{};
        if (!ParseStamp(text, ts)) { error = L"bad DBTIMESTAMP '" + text + L"'"; return false; }
        cell.raw = Pod(ts);
        return true;
    }
    default: error = L"unsupported type"; return false;
    }
}

Cell DefaultCell(const ColumnDef& col) {
    Cell c;
    if (col.nullable) return c;
    c.state = CellState::Value;
    size_t n = FixedSize(col.type);
    if (col.type == DBTYPE_BSTR || col.type == DBTYPE_VARIANT) n = 0;
    c.raw.assign(n, '\0');
    if (col.type == DBTYPE_NUMERIC) {
        DB_NUMERIC v{};
        v.precision = col.precision == 0xFF ? 19 : col.precision;
        v.scale = col.scale == 0xFF ? 0 : col.scale;
        v.sign = 1;
        c.raw = Pod(v);
    }
    return c;
}

std::wstring FormatCell(const ColumnDef& col, const Cell& cell) {
    if (cell.state == CellState::Null) return L"\\N";
    if (cell.state == CellState::CantCreate) return L"\\C";
    const std::string& r = cell.raw;
    wchar_t b[128];
    switch (col.type) {
    case DBTYPE_I1: return std::to_wstring(As<int8_t>(r));
    case DBTYPE_UI1: return std::to_wstring(As<uint8_t>(r));
    case DBTYPE_I2: return std::to_wstring(As<int16_t>(r));
    case DBTYPE_UI2: return std::to_wstring(As<uint16_t>(r));
    case DBTYPE_I4: return std::to_wstring(As<int32_t>(r));
    case DBTYPE_UI4: return std::to_wstring(As<uint32_t>(r));
    case DBTYPE_I8: return std::to_wstring(As<int64_t>(r));
    case DBTYPE_UI8: return std::to_wstring(As<uint64_t>(r));
    case DBTYPE_ERROR: swprintf(b, 128, L"0x%08lX", static_cast<unsigned long>(As<uint32_t>(r))); return b;
    case DBTYPE_R4: swprintf(b, 128, L"%.9g", As<float>(r)); return b;
    case DBTYPE_R8: swprintf(b, 128, L"%.17g", As<double>(r)); return b;
    case DBTYPE_CY: {
        int64_t v = As<int64_t>(r);
        return Decimal(static_cast<uint64_t>(v < 0 ? -v : v), 4, v < 0);
    }
    case DBTYPE_DATE: return DateText(As<double>(r));
    case DBTYPE_BOOL: return As<VARIANT_BOOL>(r) ? L"true" : L"false";
    case DBTYPE_GUID: return GuidText(As<GUID>(r));
    case DBTYPE_BYTES: {
        std::wstring out;
        for (unsigned char c : r) {
            swprintf(b, 128, L"%02X", c);
            out += b;
        }
        return out;
    }
    case DBTYPE_STR: return Escape(win::FromAnsi(r));
    case DBTYPE_WSTR: case DBTYPE_BSTR: case DBTYPE_VARIANT: return Escape(FromRaw16(r));
    case DBTYPE_NUMERIC: {
        DB_NUMERIC n = As<DB_NUMERIC>(r);
        uint64_t m = 0;
        std::memcpy(&m, n.val, sizeof m);
        return Decimal(m, n.scale, n.sign == 0);
    }
    case DBTYPE_DECIMAL: {
        DECIMAL d = As<DECIMAL>(r);
        return Decimal(d.Lo64, d.scale, (d.sign & DECIMAL_NEG) != 0);
    }
    case DBTYPE_DBDATE: {
        DBDATE d = As<DBDATE>(r);
        swprintf(b, 128, L"%04d-%02u-%02u", d.year, d.month, d.day);
        return b;
    }
    case DBTYPE_DBTIME: {
        DBTIME t = As<DBTIME>(r);
        swprintf(b, 128, L"%02u:%02u:%02u", t.hour, t.minute, t.second);
        return b;
    }
    case DBTYPE_DBTIMESTAMP: {
        DBTIMESTAMP t = As<DBTIMESTAMP>(r);
        swprintf(b, 128, L"%04d-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour, t.minute, t.second);
        std::wstring s = b;
        if (t.fraction) s += L"." + std::to_wstring(t.fraction);
        return s;
    }
    default: return L"?";
    }
}

std::shared_ptr<Store> ParseStore(const std::string& utf8In, std::wstring& error) {
    std::string utf8 = utf8In;
    if (utf8.compare(0, 3, "\xEF\xBB\xBF") == 0) utf8.erase(0, 3);
    auto store = std::make_shared<Store>();
    std::shared_ptr<Table> table;
    std::istringstream in(utf8);
    std::string rawLine;
    int lineNo = 0;
    auto fail = [&](const std::wstring& why) {
        error = L"line " + std::to_wstring(lineNo) + L": " + why;
        return nullptr;
    };
    while (std::getline(in, rawLine)) {
        ++lineNo;
        if (!rawLine.empty() && rawLine.back() == '\r') rawLine.pop_back();
        std::wstring line = FromUtf8(rawLine);
        size_t first = line.find_first_not_of(L" \t");
        if (first == std::wstring::npos || line[first] == L'#') continue;
        line.erase(0, first);
        size_t sp = line.find(L' ');
        std::wstring keyword = line.substr(0, sp);
        std::wstring rest = sp == std::wstring::npos ? L"" : line.substr(sp + 1);
        if (keyword == L"table") {
            auto w = Words(rest);
            if (w.size() != 1) return fail(L"table needs one name");
            if (store->Find(w[0])) return fail(L"table defined twice");
            table = std::make_shared<Table>();
            table->name = w[0];
            store->tables.push_back(table);
        } else if (keyword == L"tabletype") {
            if (!table) return fail(L"tabletype outside a table");
            table->type = rest;
        } else if (keyword == L"column") {
            if (!table) return fail(L"column outside a table");
            if (!table->rows.empty()) return fail(L"column after rows");
            auto w = Words(rest);
            if (w.size() < 2) return fail(L"column needs a name and a type");
            ColumnDef c;
            c.name = w[0];
            for (const auto& e : kTypes)
                if (EqualNoCase(w[1], e.name)) c.type = e.type;
            if (c.type == DBTYPE_EMPTY) return fail(L"unknown type " + w[1]);
            bool sized = false;
            for (size_t k = 2; k < w.size(); ++k) {
                const std::wstring& f = w[k];
                int64_t n = 0;
                if (k == 2 && ParseInt64(f, n)) { c.size = static_cast<DBLENGTH>(n); sized = true; }
                else if (f == L"long") c.isLong = true;
                else if (f == L"nullable") c.nullable = true;
                else if (f == L"readonly") c.readonly = true;
                else if (f.rfind(L"precision=", 0) == 0 && ParseInt64(f.substr(10), n)) c.precision = static_cast<BYTE>(n);
                else if (f.rfind(L"scale=", 0) == 0 && ParseInt64(f.substr(6), n)) c.scale = static_cast<BYTE>(n);
                else return fail(L"unknown column flag " + f);
            }
            switch (c.type) {
            case DBTYPE_STR: case DBTYPE_WSTR: case DBTYPE_BSTR: case DBTYPE_BYTES:
                if (!sized) c.size = c.isLong ? 2147483647u : 255u;
                break;
            default: c.size = FixedSize(c.type); break;
            }
            if (c.type == DBTYPE_NUMERIC) {
                if (c.precision == 0xFF) c.precision = 19;
                if (c.scale == 0xFF) c.scale = 0;
            } else if (c.type == DBTYPE_DECIMAL) {
                if (c.precision == 0xFF) c.precision = 28;
                if (c.scale == 0xFF) c.scale = 0;
            }
            c.flags = (c.readonly ? 0 : DBCOLUMNFLAGS_WRITE) | (c.isLong ? DBCOLUMNFLAGS_ISLONG : 0) |
                      (c.nullable ? DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL : 0);
            if (FixedSize(c.type) && c.type != DBTYPE_BSTR && c.type != DBTYPE_VARIANT)
                c.flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
            table->columns.push_back(c);
        } else if (keyword == L"row") {
            if (!table) return fail(L"row outside a table");
            std::vector<std::wstring> fields;
            std::vector<bool> literal;
            std::wstring why;
            if (!SplitRow(rest, fields, literal, why)) return fail(why);
            if (fields.size() != table->columns.size())
                return fail(L"row has " + std::to_wstring(fields.size()) + L" fields, table has " +
                            std::to_wstring(table->columns.size()) + L" columns");
            auto row = std::make_shared<Row>();
            row->id = table->nextId++;
            for (size_t k = 0; k < fields.size(); ++k) {
                Cell cell;
                std::wstring f = fields[k];
                if (!literal[k] && f == L"\\N") {
                    cell.state = CellState::Null;
                } else if (!literal[k] && f == L"\\C") {
                    cell.state = CellState::CantCreate;
                } else {
                    if (!literal[k] && f.rfind(L"\\R", 0) == 0) {
                        size_t star = f.find(L'*');
                        int64_t n = 0;
                        if (star == std::wstring::npos || !ParseInt64(f.substr(2, star - 2), n) || n < 0)
                            return fail(L"bad repeat field");
                        std::wstring unit = f.substr(star + 1), text;
                        for (int64_t r = 0; r < n; ++r) text += unit;
                        f = text;
                    } else if (!literal[k] && f.find(L'\\') != std::wstring::npos) {
                        return fail(L"token must fill the whole field");
                    }
                    if (!ParseValue(table->columns[k], f, cell, why))
                        return fail(L"column " + table->columns[k].name + L": " + why);
                }
                row->cells.push_back(std::move(cell));
            }
            table->rows.push_back(row);
        } else if (keyword == L"fault") {
            auto w = Words(rest);
            if (w.empty()) return fail(L"fault needs a switch");
            std::string name = Utf8(w[0]);
            if (name == "no-rowsetchange") {
                (table ? table->noRowsetChange : store->noRowsetChange) = true;
                continue;
            }
            if (name == "no-schemarowset") {
                if (table) return fail(L"no-schemarowset is data source wide");
                store->noSchemaRowset = true;
                continue;
            }
            static const char* kCalls[] = {"initialize", "createsession", "execute",  "getdata", "getnextrows",
                                           "restartposition", "setdata", "insertrow", "deleterows", "update"};
            bool known = false;
            for (const char* c : kCalls) known = known || name == c;
            if (!known) return fail(L"unknown fault " + w[0]);
            if (w.size() < 2) return fail(L"fault needs an HRESULT");
            Fault f;
            f.call = name;
            bool ok = false;
            f.hr = ParseHresult(Utf8(w[1]), ok);
            if (!ok) return fail(L"bad HRESULT " + w[1]);
            for (size_t k = 2; k < w.size(); ++k) {
                int64_t n = 0;
                if (w[k].rfind(L"row=", 0) == 0 && ParseInt64(w[k].substr(4), n) && n > 0) f.row = static_cast<int>(n);
                else return fail(L"bad fault option " + w[k]);
            }
            (table ? table->faults : store->faults).push_back(f);
        } else {
            return fail(L"unknown statement " + keyword);
        }
    }
    return store;
}

std::shared_ptr<Store> LoadStore(const std::wstring& path, std::wstring& error) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = L"cannot open " + path;
        return nullptr;
    }
    std::string content;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) content.append(buf, got);
    CloseHandle(h);
    auto store = ParseStore(content, error);
    if (!store) error = path + L": " + error;
    return store;
}

} // namespace tp
