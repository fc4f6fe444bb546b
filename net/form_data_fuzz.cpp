// Base64 both ways (the signed information file's signature and hashes, the
// boundary of an upload) and the multipart body of an upload. What the
// product writes must be read back by a reader written here, not the
// product's: Base64 by a bit-stream decoder, the body by a parser of the
// form a server reads (boundary lines, part headers, contents). Input: a
// first byte choosing the mode, then
//   0: bytes to encode;
//   1: a text to decode (every byte one character);
//   2: a boundary's date text, then the fields, separated by 0x1E, each its
//      name, file name and content separated by 0x1F (names UTF-8, other
//      bytes one character each; the content as it is).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "net/form_data.h"
#include "fuzz_input.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Padded Base64 read as a stream of six-bit pieces: the padding only at the
// end, at most two signs, and the bits past the last whole byte zero.
std::optional<std::string> DecodeBase64(const std::string& text) {
    if (text.size() % 4 != 0) return std::nullopt;
    size_t data = text.size();
    while (data > 0 && text.size() - data < 2 && text[data - 1] == '=') --data;
    uint32_t bits = 0;
    int count = 0;
    std::string out;
    for (size_t i = 0; i < data; ++i) {
        const char* at = text[i] ? std::strchr(kAlphabet, text[i]) : nullptr;
        if (at == nullptr) return std::nullopt;
        bits = (bits << 6) | static_cast<uint32_t>(at - kAlphabet);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
            bits &= (1u << count) - 1;
        }
    }
    if (bits != 0) return std::nullopt;
    return out;
}

// Each character as one byte, "?" for what one byte cannot hold.
std::string Latin1(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += static_cast<uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?';
    return out;
}

std::string Narrowed(const std::wstring& wide) {
    std::string narrow;
    for (wchar_t c : wide) {
        FUZZ_CHECK(static_cast<uint32_t>(c) < 0x80, "Base64 is ASCII");
        narrow += static_cast<char>(c);
    }
    return narrow;
}

void CheckBytes(const std::string& bytes) {
    const std::string encoded = au::Base64OfBytes(bytes);
    (void)au::Base64OfBytes("other");
    FUZZ_CHECK(encoded == au::Base64OfBytes(bytes), "the same Base64 twice");
    FUZZ_CHECK(encoded.size() == (bytes.size() + 2) / 3 * 4, "four characters for every three bytes begun");
    FUZZ_CHECK(DecodeBase64(encoded) == bytes, "Base64 of bytes decodes back to them");
    FUZZ_CHECK(au::BytesOfBase64(encoded) == bytes, "BytesOfBase64 reads its own Base64 back");

    // The text form: one byte per character, a line break after every 80.
    for (const std::wstring& text : {std::wstring(bytes.begin(), bytes.end()) /* Latin-1 */, fuzz::WideOfBytes(bytes)}) {
        const std::wstring lines = au::Base64Encode(text);
        const std::string narrow = Narrowed(lines);
        std::string joined;
        size_t column = 0;
        for (size_t i = 0; i < narrow.size(); ++i) {
            if (narrow[i] == '\r') {
                FUZZ_CHECK(column == 80 && i + 1 < narrow.size() && narrow[i + 1] == '\n', "CR LF ends 80 characters");
                column = 0;
                ++i;
                continue;
            }
            FUZZ_CHECK(column < 80, "a line holds 80 characters");
            joined += narrow[i];
            ++column;
        }
        FUZZ_CHECK(column < 80 || joined.empty(), "a full last line ends with CR LF too");
        FUZZ_CHECK(DecodeBase64(joined) == Latin1(text), "Base64Encode decodes back to the text, one byte each");
    }
}

void CheckText(const std::string& text) {
    const auto product = au::BytesOfBase64(text);
    const auto own = DecodeBase64(text);
    (void)au::BytesOfBase64("b3RoZXI=");
    FUZZ_CHECK(product == au::BytesOfBase64(text), "the same bytes twice");
    FUZZ_CHECK(product == own, "BytesOfBase64 accepts what a strict decoder does, with the same bytes");
    if (product) FUZZ_CHECK(au::Base64OfBytes(*product) == text, "an accepted text is the one Base64 of its bytes");
}

// One part as a server reads it back.
struct ReadPart {
    std::string name, fileName, contentType, content;
    bool hasFile = false;
};

// What a name or file name is after the writer's escapes of the characters
// that would end the quoted value or its header line.
std::string Unescaped(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const std::string code = value.substr(i, 3);
        if (code == "%22") out += '"';
        else if (code == "%0D") out += '\r';
        else if (code == "%0A") out += '\n';
        else { out += value[i]; continue; }
        i += 2;
    }
    return out;
}

// The quoted value that `text` starts with after `prefix`; `text` goes on
// after its closing quote.
std::optional<std::string> QuotedAfter(std::string& text, const std::string& prefix) {
    if (!text.starts_with(prefix)) return std::nullopt;
    const size_t close = text.find('"', prefix.size());
    if (close == std::string::npos) return std::nullopt;
    std::string value = text.substr(prefix.size(), close - prefix.size());
    text.erase(0, close + 1);
    return Unescaped(value);
}

// The body split at its boundary lines; nullopt when it is not one a server
// can read.
std::optional<std::vector<ReadPart>> ParseMultipart(const std::string& body, const std::string& boundary) {
    const std::string dash = "--" + boundary, delimiter = "\r\n" + dash;
    if (!body.starts_with(dash)) return std::nullopt;
    std::vector<ReadPart> parts;
    size_t pos = dash.size();
    for (;;) {
        if (body.compare(pos, std::string::npos, "--\r\n") == 0) return parts;
        if (body.compare(pos, 2, "\r\n") != 0) return std::nullopt;
        pos += 2;
        const size_t headersEnd = body.find("\r\n\r\n", pos);
        if (headersEnd == std::string::npos) return std::nullopt;
        std::string headers = body.substr(pos, headersEnd - pos);
        ReadPart part;
        const auto name = QuotedAfter(headers, "Content-Disposition: form-data; name=\"");
        if (!name) return std::nullopt;
        part.name = *name;
        if (!headers.empty()) {
            const auto file = QuotedAfter(headers, "; filename=\"");
            if (!file || !headers.starts_with("\r\nContent-Type: ")) return std::nullopt;
            part.fileName = *file;
            part.hasFile = true;
            part.contentType = headers.substr(std::strlen("\r\nContent-Type: "));
            if (part.contentType.find_first_of("\r\n") != std::string::npos) return std::nullopt;
        }
        const size_t contentStart = headersEnd + 4;
        const size_t next = body.find(delimiter, contentStart);
        if (next == std::string::npos) return std::nullopt;
        part.content = body.substr(contentStart, next - contentStart);
        parts.push_back(std::move(part));
        pos = next + delimiter.size();
    }
}

// The content type the target's rules give, a clean token as a registry's
// would be, whatever the extension holds.
std::wstring TypeOf(const std::wstring& extension) {
    return extension.empty() ? L"application/octet-stream" : L"x-test/ext" + std::to_wstring(extension.size());
}

void CheckMultipart(const uint8_t* data, size_t size) {
    const auto records = fuzz::Pieces(data, size, '\x1E');
    const std::wstring dateText = fuzz::WideOfBytes(records[0]);
    const wchar_t mark = dateText.empty() ? L'0' : dateText[0];
    const std::wstring boundary = au::MakeBoundaryFrom(mark, dateText);
    FUZZ_CHECK(boundary == au::MakeBoundaryFrom(mark, dateText), "the same boundary twice");
    // The mark is the caller's ("0" from the upload); the rest is one line.
    FUZZ_CHECK(boundary.find_first_of(L"\r\n", 24) == std::wstring::npos, "a boundary is one line");
    std::wstring base64 = au::Base64Encode(dateText);
    std::erase(base64, L'\r');
    std::erase(base64, L'\n');
    FUZZ_CHECK(boundary == L"---HTTP-DATA-BOUNDARY-" + std::wstring(1, mark) + L"-" + base64 + L"---",
               "a boundary is its prefix, the mark and the date's Base64");
    if (mark == L'\r' || mark == L'\n') return;  // a boundary only the caller could break
    const std::string b = Latin1(boundary);

    std::vector<au::FormField> fields;
    for (size_t r = 1; r < records.size(); ++r) {
        const auto units = fuzz::Pieces(reinterpret_cast<const uint8_t*>(records[r].data()), records[r].size(), '\x1F');
        au::FormField field;
        field.fieldName = fuzz::WideOfBytes(units[0]);
        if (units.size() > 1) field.fileName = fuzz::WideOfBytes(units[1]);
        for (size_t u = 2; u < units.size(); ++u) field.content += (u > 2 ? "\x1F" : "") + units[u];
        // A random boundary is how every writer keeps it out of the contents.
        if (field.content.find(b) != std::string::npos) return;
        // A name that already reads as an escape cannot be told from one.
        for (const std::string& name : {Latin1(field.fieldName), Latin1(field.fileName)})
            for (const char* code : {"%22", "%0D", "%0A"})
                if (name.find(code) != std::string::npos) return;
        fields.push_back(std::move(field));
    }
    if (fields.empty()) fields.push_back({L"only", L"", "x"});

    std::vector<std::wstring> asked;
    const au::FormTextRules rules{Latin1, [&](const std::wstring& extension) {
                                      asked.push_back(extension);
                                      return TypeOf(extension);
                                  }};
    const std::string body = au::MultipartFormBody(boundary, fields, rules);
    asked.clear();
    FUZZ_CHECK(body == au::MultipartFormBody(boundary, fields, rules), "the same body twice");

    const auto parts = ParseMultipart(body, b);
    FUZZ_CHECK(parts.has_value(), "a server can read the body");
    FUZZ_CHECK(parts->size() == fields.size(), "as many parts as fields");
    size_t ask = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const auto& field = fields[i];
        const auto& part = (*parts)[i];
        FUZZ_CHECK(part.name == Latin1(field.fieldName), "a part carries its field's name");
        FUZZ_CHECK(part.hasFile == !field.fileName.empty(), "a part names a file when its field has one");
        FUZZ_CHECK(part.fileName == Latin1(field.fileName), "a part carries its field's file name");
        FUZZ_CHECK(part.content == field.content, "a part carries its field's content byte for byte");
        if (!part.hasFile) continue;
        FUZZ_CHECK(ask < asked.size(), "the content type is asked for each file");
        const std::wstring& extension = asked[ask++];
        FUZZ_CHECK(part.contentType == Latin1(TypeOf(extension)), "the part's type is the one the rules gave");
        // The extension is the file name's own: from its last dot on, no
        // directory in it, and none at all when the name has no dot.
        std::wstring file = field.fileName;
        std::replace(file.begin(), file.end(), L'/', L'\\');
        const size_t last = file.find_last_of(L".\\:");
        const std::wstring expected = last != std::wstring::npos && file[last] == L'.' ? file.substr(last) : L"";
        FUZZ_CHECK(extension == expected, "the type is asked for the file name's extension");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0: CheckBytes(rest); break;
    case 1: CheckText(rest); break;
    default: CheckMultipart(data + 1, size - 1); break;
    }
    return 0;
}
