// The initialization string a provider writes, filtered into the connection
// text that callers keep and hand back to rowgate later: whatever the
// provider wrote, the text may hold only whole items of it that name the
// connection, never a dropped item such as a Mode or a stray setting, and
// filtering it again must not change it. Input: the raw string, one byte
// per character.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "rowgate/conn_text.h"

namespace {

struct Key {
    const char* text;
    bool dropEmptyQuotes;
};
const Key kKeys[] = {
    {"Provider", false},        {"Data Source", true},          {"Integrated Security", false},
    {"Persist Security", false}, {"User ID", false},             {"Password", false},
    {"Extended Properties", true}, {"Initial Catalog", true}, {"Jet OLEDB:Database Password", false},
};

// Whether an item with this text may stand in the connection text.
bool Keepable(const std::string& item) {
    for (const Key& key : kKeys) {
        if (item.rfind(key.text, 0) != 0) continue;
        if (!key.dropEmptyQuotes) return true;
        const size_t eq = item.find('=');
        return eq == std::string::npos || item.compare(eq + 1, std::string::npos, "\"\"") != 0;
    }
    return false;
}

// Items start at the beginning, after a ';' or right after the quote that
// closed a value holding a ';'.
bool StartsItem(const std::string& raw, size_t at) {
    return at == 0 || raw[at - 1] == ';' || raw[at - 1] == '"';
}
bool EndsItem(const std::string& raw, size_t end) {
    return end == raw.size() || raw[end] == ';' || raw[end - 1] == '"';
}

// Whether `text` reads as keepable items copied from `raw` at item
// boundaries, in raw's order and without overlapping, joined by ';'. A
// piece may itself hold ';' (a quoted value), so every way of cutting the
// text is tried; for each place in the text only the earliest end in raw
// that reaches it matters, since an earlier end leaves more room after it.
bool ReadsAsPiecesOf(const std::string& text, const std::string& raw) {
    if (text.empty()) return true;
    std::vector<size_t> cuts;  // where a piece of the text may start
    for (size_t i = 0; i <= text.size(); ++i)
        if (i == 0 || text[i - 1] == ';') cuts.push_back(i);
    const size_t none = static_cast<size_t>(-1);
    std::vector<size_t> rawEnd(text.size() + 2, none);  // indexed by a piece's start in text
    rawEnd[0] = 0;
    for (size_t k : cuts) {
        if (rawEnd[k] == none) continue;
        for (size_t i = k + 1; i <= text.size(); ++i) {
            if (i != text.size() && text[i] != ';') continue;
            const std::string piece = text.substr(k, i - k);
            const bool keepable = Keepable(piece);
            size_t found = none;
            bool anywhere = false;
            for (size_t s = raw.find(piece, rawEnd[k]); s != std::string::npos; s = raw.find(piece, s + 1)) {
                anywhere = true;
                if (keepable && StartsItem(raw, s) && EndsItem(raw, s + piece.size())) {
                    found = s;
                    break;
                }
                if (!keepable) break;
            }
            // A longer piece from the same start occurs nowhere this one does not.
            if (!anywhere) break;
            if (found == none) continue;
            if (i == text.size()) return true;
            rawEnd[i + 1] = std::min(rawEnd[i + 1], found + piece.size());
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    const std::string text = rowgate::FilterConnectionText(raw);

    FUZZ_CHECK(text == rowgate::FilterConnectionText(raw), "the same raw text gives the same connection text");
    // Trying every cut costs the square of the ';' count: long texts are left to the other checks.
    if (std::count(text.begin(), text.end(), ';') <= 64)
        FUZZ_CHECK(ReadsAsPiecesOf(text, raw),
               "the connection text is whole kept items of the raw text, in its order, joined by ';'");
    FUZZ_CHECK(rowgate::FilterConnectionText(text) == text, "a connection text filtered again stays as it is");

    // Without quotes every ';' ends an item, so the whole result is known.
    if (raw.find('"') == std::string::npos) {
        std::string expected;
        size_t start = 0;
        for (;;) {
            const size_t semi = raw.find(';', start);
            const std::string item = raw.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
            if (Keepable(item)) expected += (expected.empty() ? "" : ";") + item;
            if (semi == std::string::npos) break;
            start = semi + 1;
        }
        FUZZ_CHECK(text == expected, "without quotes every item naming the connection is kept and no other");
    }
    return 0;
}
