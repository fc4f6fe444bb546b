#include "conn_text.h"

#include <vector>

namespace rowgate {
namespace {

std::vector<std::string> SplitItems(const std::string& raw) {
    std::vector<std::string> items;
    std::string rest = raw;
    for (;;) {
        const size_t p = rest.find(';');
        if (p == std::string::npos) break;
        const std::string candidate = rest.substr(0, p);
        const size_t q1 = candidate.find('"');
        const bool openQuote = q1 != std::string::npos && candidate.find('"', q1 + 1) == std::string::npos;
        const size_t q2 = openQuote ? rest.find('"', p + 1) : std::string::npos;
        if (q2 != std::string::npos) {
            // The ';' sits inside a quoted value: the item runs to the closing quote.
            items.push_back(rest.substr(0, q2 + 1));
            rest.erase(0, q2 + 1);
        } else {
            items.push_back(candidate);
            rest.erase(0, p + 1);
        }
    }
    items.push_back(rest);
    return items;
}

bool ValueIsEmptyQuotes(const std::string& item) {
    const size_t eq = item.find('=');
    const std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
    return value == "\"\"";
}

struct Key {
    const char* text;
    bool dropEmptyQuotes;
};

const Key kKeys[] = {
    {"Provider", false},
    {"Data Source", true},
    {"Integrated Security", false},
    {"Persist Security", false},
    {"User ID", false},
    {"Password", false},
    {"Extended Properties", true},
    {"Initial Catalog", true},
    {"Jet OLEDB:Database Password", false},
};

} // namespace

std::string FilterConnectionText(const std::string& raw) {
    std::string out;
    for (const std::string& item : SplitItems(raw)) {
        for (const Key& key : kKeys) {
            if (item.rfind(key.text, 0) != 0) continue;
            if (key.dropEmptyQuotes && ValueIsEmptyQuotes(item)) continue;
            out += item;
            out += ';';
        }
    }
    if (!out.empty()) out.pop_back();
    return out;
}

} // namespace rowgate
