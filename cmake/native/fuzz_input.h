// What the fuzz targets share: fuzz bytes read as fixed-size values or as
// wide text, and a few rules written out again here so the targets judge the
// product by something other than its own code.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fuzz {

// The input taken from the front, byte by byte; past its end every byte is
// zero, so a short input still decides everything.
struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t Byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    template <typename T>
    T Take() {
        T x{};
        unsigned char b[sizeof(T)] = {};
        for (auto& c : b) c = Byte();
        std::memcpy(&x, b, sizeof x);
        return x;
    }
};

// Well-formed UTF-8 gives its characters, any other byte the character of
// the same number: one input reaches ASCII, Latin-1 and the rest of Unicode,
// and the seeds stay readable text.
inline std::wstring WideOfBytes(const uint8_t* data, size_t size) {
    std::wstring out;
    for (size_t i = 0; i < size;) {
        const uint8_t lead = data[i];
        size_t n = 0;
        uint32_t cp = 0, min = 0;
        if (lead >= 0xC2 && lead <= 0xDF) { n = 2; cp = lead & 0x1Fu; min = 0x80; }
        else if (lead >= 0xE0 && lead <= 0xEF) { n = 3; cp = lead & 0x0Fu; min = 0x800; }
        else if (lead >= 0xF0 && lead <= 0xF4) { n = 4; cp = lead & 0x07u; min = 0x10000; }
        bool ok = n > 0 && i + n <= size;
        for (size_t k = 1; ok && k < n; ++k) {
            ok = (data[i + k] & 0xC0) == 0x80;
            cp = (cp << 6) | (data[i + k] & 0x3Fu);
        }
        ok = ok && cp >= min && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (ok) {
            out += static_cast<wchar_t>(cp);
            i += n;
        } else {
            out += static_cast<wchar_t>(lead);
            ++i;
        }
    }
    return out;
}

inline std::wstring WideOfBytes(const std::string& bytes) {
    return WideOfBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// The pieces of `text` between the separator characters, all of them.
inline std::vector<std::string> Pieces(const uint8_t* data, size_t size, char separator) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (static_cast<char>(data[i]) == separator) pieces.emplace_back();
        else pieces.back() += static_cast<char>(data[i]);
    }
    return pieces;
}

// A blank as the product's text rules count one: every character up to U+0020.
inline bool IsBlank(wchar_t c) { return static_cast<uint32_t>(c) <= 0x20; }

inline std::wstring TrimRight(std::wstring text) {
    while (!text.empty() && IsBlank(text.back())) text.pop_back();
    return text;
}

inline std::wstring Trim(std::wstring text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    return TrimRight(text.substr(i));
}

} // namespace fuzz
