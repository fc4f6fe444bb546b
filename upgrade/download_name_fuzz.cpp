// The local name of a downloaded file, taken from an address the update
// information file gives: whatever the address, the name is one plain file
// name that Windows puts in the program's directory, never a path, a
// device or a name it would resolve to another directory.
// Input: the address as text. Well-formed UTF-8 sequences become their
// characters and every other byte the character of its own number, so raw
// non-ASCII, stray bytes and percent escapes all reach the rule.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "upgrade/upgrade_rules.h"

namespace {


// What Windows opens as a device, in any directory: the part before the
// first dot, blanks at its end dropped, is one of the names below in any
// case; COM and LPT take a digit, the Latin-1 superscripts one to three
// included. Compared as narrow text with strcmp, whose operands libFuzzer
// watches, so that it learns the device names from the check itself.
bool WindowsDevice(const std::wstring& name) {
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    if (base.size() < 3 || base.size() > 7) return false;
    char narrow[8] = {};
    for (size_t i = 0; i < base.size(); ++i) {
        const wchar_t c = base[i];
        narrow[i] = c >= L'a' && c <= L'z' ? static_cast<char>(c - 32) : c > 0 && c < 0x100 ? static_cast<char>(c) : '?';
    }
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (std::strcmp(narrow, device) == 0) return true;
    if (base.size() != 4 || (std::strncmp(narrow, "COM", 3) != 0 && std::strncmp(narrow, "LPT", 3) != 0)) return false;
    const wchar_t digit = base[3];
    return (digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

void CheckName(const std::wstring& url, const std::optional<std::wstring>& name) {
    if (!name) return;
    FUZZ_CHECK(!name->empty(), "a name is never empty");
    for (const wchar_t c : *name) {
        FUZZ_CHECK(c != L'\\' && c != L'/', "a name holds no path separator");
        FUZZ_CHECK(c != L':', "a name holds no colon (drive or stream)");
        FUZZ_CHECK(c >= 32, "a name holds no control character");
        FUZZ_CHECK(c != L'*' && c != L'?' && c != L'"' && c != L'<' && c != L'>' && c != L'|',
                   "a name holds no character a file name cannot hold");
    }
    // Windows drops dots and blanks at the end of a name, so "..", ". ."
    // and the like would name the directory or its parent.
    FUZZ_CHECK(name->back() != L'.' && name->back() != L' ', "a name does not end in a dot or a blank");
    FUZZ_CHECK(*name != L"." && *name != L"..", "a name is not a directory's");
    FUZZ_CHECK(!WindowsDevice(*name), "a name is no device");
    FUZZ_CHECK(!WindowsDevice(*name + L".uTMP"), "the download's own name is no device");
    FUZZ_CHECK(au::DownloadFileName(url) == name, "an address gives the same name twice");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring url = fuzz::WideOfBytes(data, size);
    CheckName(url, au::DownloadFileName(url));

    // The same text as the last element of an ordinary address, and behind
    // a query that must be dropped.
    const std::wstring inPath = L"http://h/dir/" + url;
    const auto last = au::DownloadFileName(inPath);
    CheckName(inPath, last);
    const std::wstring queried = L"http://h/" + url + L"?x=/y";
    CheckName(queried, au::DownloadFileName(queried));

    // A plain name of letters and digits comes out as it is.
    bool plain = !url.empty() && url.size() < 64;
    for (const wchar_t c : url)
        plain = plain && ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9'));
    if (plain && !WindowsDevice(url)) FUZZ_CHECK(last == url, "a plain name is kept as it is");
    return 0;
}
