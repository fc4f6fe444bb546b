// The update information file and its signed form, as any server or anyone
// between it and the program may write them: whatever the bytes, every value
// read is a piece of them, found where its marker says, and reading the same
// bytes again gives the same result.
// Input: the whole input is the file. Its first line (up to the first '\n')
// is also a key to look up, and every line is also tried as a method, a
// hash entry, an expiry and Base64. The first 40 bytes, when there are as
// many, are also a digest and a size to write and read back, the first 8 a
// moment to write as an expiry.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "net/form_data.h"
#include "upgrade/info_file.h"
#include "upgrade/signed_info.h"
#include "win/strings.h"

using namespace au;

namespace {

// The first place of `marker` in `text`, byte by byte, written out here so
// that the check does not lean on the search the reader uses.
size_t FirstPlace(std::string_view text, std::string_view marker) {
    if (marker.size() > text.size()) return std::string_view::npos;
    for (size_t at = 0; at + marker.size() <= text.size(); ++at)
        if (std::memcmp(text.data() + at, marker.data(), marker.size()) == 0) return at;
    return std::string_view::npos;
}

bool HasControl(std::string_view value) {
    for (char c : value)
        if (static_cast<unsigned char>(c) < 32) return true;
    return false;
}

std::wstring FromAnsi(std::string_view bytes) { return win::FromAnsi(std::string(bytes)); }

// The entry's value is the bytes right after the first marker, up to a
// control character or the end: nothing else, nothing more, nothing less.
void CheckEntry(std::string_view text, std::string_view key, const std::optional<std::string>& value) {
    const std::string marker = "#" + std::string(key) + "=";
    const size_t at = FirstPlace(text, marker);
    FUZZ_CHECK((at == std::string_view::npos) == !value, "an entry is found exactly when its marker is there");
    if (!value) return;
    const size_t from = at + marker.size();
    FUZZ_CHECK(text.substr(from, value->size()) == *value, "the value is the bytes right after the first marker");
    FUZZ_CHECK(!HasControl(*value), "a value holds no control character");
    const size_t end = from + value->size();
    FUZZ_CHECK(end == text.size() || static_cast<unsigned char>(text[end]) < 32,
               "a value runs up to a control character or the end");
}

// The message is the conversion of the bytes after its marker up to a brace
// that is a character of its own (a brace-valued trailing byte is not one),
// or to the end.
void CheckMessage(std::string_view text, const std::wstring& message) {
    constexpr std::string_view kMarker = "#message={";
    const size_t at = FirstPlace(text, kMarker);
    if (at == std::string_view::npos) {
        FUZZ_CHECK(message.empty(), "no message without its marker");
        return;
    }
    FUZZ_CHECK(message.find(L'}') == std::wstring::npos, "the message holds no closing brace");
    const std::string_view rest = text.substr(at + kMarker.size());
    if (rest.size() > 512) return;  // the search below is quadratic
    bool found = false;
    for (size_t end = 0; end <= rest.size() && !found; ++end)
        if (end == rest.size() || rest[end] == '}') found = FromAnsi(rest.substr(0, end)) == message;
    FUZZ_CHECK(found, "the message is the conversion of the bytes up to a brace, or to the end");
}

// The queue: #url=, #url0=, then numbers from one above their count, up to
// the first absent or empty one; each address the conversion of its entry.
void CheckAddresses(std::string_view text, const std::vector<InfoAddress>& entries) {
    auto raw = [&](const std::string& suffix) { return InfoEntry(text, "url" + suffix); };
    std::vector<std::string> expected;
    for (const char* suffix : {"", "0"})
        if (const auto v = raw(suffix); v && !v->empty()) expected.push_back(suffix);
    const size_t unnumbered = expected.size();
    for (size_t i = unnumbered; i < entries.size(); ++i) expected.push_back(std::to_string(i + 1));
    FUZZ_CHECK(entries.size() >= unnumbered, "the unnumbered addresses are all queued");
    for (size_t i = 0; i < entries.size(); ++i) {
        FUZZ_CHECK(entries[i].suffix == expected[i], "the addresses come in queue order");
        const auto value = raw(entries[i].suffix);
        FUZZ_CHECK(value && !value->empty(), "each address has a non-empty entry");
        CheckEntry(text, "url" + entries[i].suffix, value);
        FUZZ_CHECK(entries[i].url == FromAnsi(*value), "each address is the conversion of its entry");
    }
    const auto next = raw(std::to_string(entries.size() + 1));
    FUZZ_CHECK(!next || next->empty(), "the queue stops only at an absent or empty number");
}

bool SameEntries(const std::vector<InfoAddress>& a, const std::vector<InfoAddress>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].suffix != b[i].suffix || a[i].url != b[i].url) return false;
    return true;
}

bool SameInfo(const UpdateInfo& a, const UpdateInfo& b) {
    return a.version == b.version && a.forceUpgrade == b.forceUpgrade && a.date == b.date && a.files == b.files;
}

// Split at the first signature marker; accepted only with nothing but line
// breaks after a value that is the one Base64 text of 64 bytes.
void CheckSigned(std::string_view file, const SignedTextOrFault& split) {
    const size_t at = FirstPlace(file, kSignatureMarker);
    if (at == std::string_view::npos) {
        FUZZ_CHECK(split.fault == VerifyReason::kUnsigned, "a file without the marker is unsigned");
        return;
    }
    FUZZ_CHECK(split.fault != VerifyReason::kUnsigned, "a file with the marker is not unsigned");
    FUZZ_CHECK(split.text.covered.data() == file.data() && split.text.covered.size() == at,
               "the covered text is the file up to right before the first marker");
    size_t end = at + kSignatureMarker.size();
    while (end < file.size() && static_cast<unsigned char>(file[end]) >= 32) ++end;
    const std::string_view value = file.substr(at + kSignatureMarker.size(), end - at - kSignatureMarker.size());
    bool onlyBreaks = true;
    for (size_t i = end; i < file.size(); ++i) onlyBreaks = onlyBreaks && (file[i] == '\r' || file[i] == '\n');
    if (!split.fault) {
        FUZZ_CHECK(onlyBreaks, "an accepted signature has only CR and LF after its value");
        FUZZ_CHECK(split.text.signature.size() == kSignatureBytes, "an accepted signature has 64 bytes");
        FUZZ_CHECK(Base64OfBytes(split.text.signature) == value, "the signature is what its value writes");
    } else if (split.fault == VerifyReason::kBytesAfterSignature) {
        FUZZ_CHECK(!onlyBreaks, "bytes after the signature are refused only when they are there");
    } else {
        FUZZ_CHECK(split.fault == VerifyReason::kBadSignature, "a signed text has one of three faults");
        FUZZ_CHECK(onlyBreaks, "a bad signature is judged only once the tail is clean");
        const auto bytes = BytesOfBase64(value);
        FUZZ_CHECK(!bytes || bytes->size() != kSignatureBytes, "a bad signature is not Base64 of 64 bytes");
    }
}

void CheckMethod(std::string_view value) {
    const char first = value.empty() ? '\0' : value[0];
    FUZZ_CHECK(MethodOf(value) ==
                   (first == '1' ? umUseExternalSetup : first == '2' ? umRedirectToURL : umSelfUpgrade),
               "the method is chosen by the first character alone");
}

// One line tried as each of the signed file's small texts: whatever is
// accepted is the one text its value writes.
void CheckValueTexts(std::string_view line) {
    CheckMethod(line);
    const auto digest = ParseHashEntry(line);
    FUZZ_CHECK(!digest || FormatHashEntry(*digest) == line, "an accepted hash entry is the text its digest writes");
    FUZZ_CHECK(ParseHashEntry(line) == digest, "a hash entry reads the same twice");

    const auto expiry = ParseExpiry(line);
    if (expiry) {
        FUZZ_CHECK(*expiry >= 0, "an expiry lies after 1970");
        FUZZ_CHECK(FormatExpiry(*expiry) == line, "an accepted expiry is the text its moment writes");
    }
    FUZZ_CHECK(ParseExpiry(line) == expiry, "an expiry reads the same twice");

    const auto bytes = BytesOfBase64(line);
    if (bytes) {
        FUZZ_CHECK(bytes->size() == line.size() / 4 * 3 - (line.ends_with("==") ? 2 : line.ends_with("=") ? 1 : 0),
                   "Base64 gives three bytes per four characters, less its padding");
        FUZZ_CHECK(Base64OfBytes(*bytes) == line, "accepted Base64 is the one text of its bytes");
    }
    FUZZ_CHECK(BytesOfBase64(line) == bytes, "Base64 reads the same twice");
}

void ReadAll(std::string_view text, std::string_view key) {
    // The single entries, for the real keys and for one from the input.
    for (std::string_view k : {std::string_view("version"), std::string_view("date"),
                               std::string_view("forceupgrade"), std::string_view("method"),
                               std::string_view("expires"), std::string_view("hash"), std::string_view("hash0"),
                               std::string_view("hash1"), std::string_view("url"), key}) {
        const auto value = InfoEntry(text, k);
        CheckEntry(text, k, value);
        if (k == "method") CheckMethod(value.value_or(""));
        if (value) CheckValueTexts(*value);
    }

    CheckMessage(text, InfoMessage(text));

    const std::vector<InfoAddress> entries = InfoFileEntries(text);
    CheckAddresses(text, entries);
    const std::vector<std::wstring> addresses = InfoFileAddresses(text);
    FUZZ_CHECK(addresses.size() == entries.size(), "the addresses are the entries' addresses");
    for (size_t i = 0; i < addresses.size(); ++i)
        FUZZ_CHECK(addresses[i] == entries[i].url, "the addresses are the entries' addresses");

    const UpdateInfo info = ReadUpdateInfo(text);
    FUZZ_CHECK(info.files == addresses, "the update's files are the queued addresses");
    FUZZ_CHECK(info.version == FromAnsi(InfoEntry(text, "version").value_or("")), "the version is its entry");
    FUZZ_CHECK(info.date == FromAnsi(InfoEntry(text, "date").value_or("")), "the date is its entry");
    FUZZ_CHECK(info.forceUpgrade == (InfoEntry(text, "forceupgrade") == std::optional<std::string>("true")),
               "only the exact word true forces");

    const SignedTextOrFault split = SplitSignedText(text);
    CheckSigned(text, split);
    if (split.fault == VerifyReason::kUnsigned) return;
    std::vector<std::string> suffixes;
    for (const auto& entry : InfoFileEntries(split.text.covered)) suffixes.push_back(entry.suffix);
    const DeclaredFiles declared = DeclaredDigests(split.text.covered, suffixes);
    if (declared.fault) {
        FUZZ_CHECK(declared.fault == VerifyReason::kMissingHash && declared.files.empty(),
                   "a missing hash leaves no declared file");
        bool missing = false;
        for (const auto& s : suffixes) {
            const auto entry = InfoEntry(split.text.covered, HashKeyFor(s));
            missing = missing || !entry || !ParseHashEntry(*entry);
        }
        FUZZ_CHECK(missing, "a hash is missing only when some address has no readable one");
    } else {
        FUZZ_CHECK(declared.files.size() == suffixes.size(), "one declared file per address");
        for (size_t i = 0; i < suffixes.size(); ++i) {
            const auto entry = InfoEntry(split.text.covered, HashKeyFor(suffixes[i]));
            FUZZ_CHECK(entry && FormatHashEntry(declared.files[i]) == *entry,
                       "each declared file is its own address's hash entry");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Views into the input itself, never a copy: a copy would have room
    // after its end where reading past the input goes unseen.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const size_t newline = text.find('\n');
    const std::string_view key = text.substr(0, newline);
    ReadAll(text, key);

    for (size_t from = 0; from <= text.size();) {
        const size_t end = std::min(text.find('\n', from), text.size());
        CheckValueTexts(text.substr(from, end - from));
        from = end + 1;
    }

    // Whatever can be written reads back as it was.
    if (size >= 40) {
        FileDigest digest;
        std::memcpy(digest.sha256.data(), data, 32);
        std::memcpy(&digest.size, data + 32, 8);
        // Sizes of twenty digits are refused on purpose: no file is that long.
        if (digest.size < 10000000000000000000ull)
            FUZZ_CHECK(ParseHashEntry(FormatHashEntry(digest)) == digest, "a written hash entry reads back");
    }
    if (size >= 8) {
        int64_t moment;
        std::memcpy(&moment, data, 8);
        const std::string written = FormatExpiry(moment);
        if (!written.empty() && moment >= 0)
            FUZZ_CHECK(ParseExpiry(written) == moment, "a written expiry reads back");
    }
    const auto base64 = Base64OfBytes(text);
    FUZZ_CHECK(BytesOfBase64(base64) == std::optional<std::string>(text), "any bytes read back from their Base64");

    // The same bytes again, in a buffer of their own: the same results.
    std::vector<uint8_t> again(data, data + size);
    const std::string_view other(reinterpret_cast<const char*>(again.data()), again.size());
    const std::string_view otherKey = other.substr(0, key.size());
    FUZZ_CHECK(InfoEntry(other, otherKey) == InfoEntry(text, key), "an entry reads the same twice");
    FUZZ_CHECK(InfoMessage(other) == InfoMessage(text), "the message reads the same twice");
    FUZZ_CHECK(SameEntries(InfoFileEntries(other), InfoFileEntries(text)), "the addresses read the same twice");
    FUZZ_CHECK(SameInfo(ReadUpdateInfo(other), ReadUpdateInfo(text)), "the update reads the same twice");
    const auto a = SplitSignedText(text), b = SplitSignedText(other);
    FUZZ_CHECK(a.fault == b.fault && a.text.covered == b.text.covered && a.text.signature == b.text.signature,
               "the signed form reads the same twice");
    return 0;
}
