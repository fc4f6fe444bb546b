// The code page 936 conversions the native tests stand on (ansi_cp936.cpp
// for win::ToAnsi and win::FromAnsi): any bytes, broken double-byte
// characters included, become UTF-16 that survives a second round
// unchanged; text whose every character converted goes back to its own
// bytes; and UTF-16 goes to bytes and back with each unit either kept or
// replaced by the substitute. Input: a selector byte, then the bytes; for
// UTF-16, two bytes a unit, low byte first.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "win/strings.h"

namespace {

// Whether the bytes are GBK characters that all converted: ASCII and 0x80
// alone, a lead byte from 0x81 to 0xFE with a trail byte the code page
// allows, and no double-byte character that became the substitute.
bool ValidGbk(const std::string& bytes, const std::wstring& wide) {
    size_t k = 0;
    for (size_t i = 0; i < bytes.size(); ++i, ++k) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (k >= wide.size()) return false;
        if (b < 0x80) {
            if (wide[k] != b) return false;
            continue;
        }
        if (b == 0xFF) return false;
        if (b > 0x80) {
            if (i + 1 == bytes.size()) return false;
            const unsigned char t = static_cast<unsigned char>(bytes[++i]);
            if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
        }
        if (wide[k] == L'?') return false;
    }
    return k == wide.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    if (mode % 2 == 0) {
        const std::string bytes(reinterpret_cast<const char*>(data), size);
        const std::wstring wide = win::FromAnsi(bytes);
        FUZZ_CHECK(wide == win::FromAnsi(bytes), "the same bytes give the same text");
        FUZZ_CHECK(wide.size() <= bytes.size(), "no byte becomes more than one character");
        const std::string back = win::ToAnsi(wide);
        FUZZ_CHECK(win::FromAnsi(back) == wide, "bytes converted and back read as the same text again");
        FUZZ_CHECK(win::ToAnsi(win::FromAnsi(back)) == back, "bytes converted once are stable");
        if (ValidGbk(bytes, wide)) FUZZ_CHECK(back == bytes, "valid GBK text goes back to its own bytes");
    } else {
        std::wstring wide;
        for (size_t i = 0; i + 1 < size; i += 2) wide += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
        const std::string bytes = win::ToAnsi(wide);
        FUZZ_CHECK(bytes == win::ToAnsi(wide), "the same text gives the same bytes");
        const std::wstring back = win::FromAnsi(bytes);
        FUZZ_CHECK(back.size() == wide.size(), "every unit becomes one character and back");
        for (size_t i = 0; i < wide.size(); ++i)
            FUZZ_CHECK(back[i] == wide[i] || back[i] == L'?', "a unit comes back as itself or the substitute");
        FUZZ_CHECK(win::ToAnsi(back) == bytes, "text converted once is stable");
    }
    return 0;
}
