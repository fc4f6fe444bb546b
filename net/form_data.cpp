#include "form_data.h"

#include <cstdint>

#include "text.h"

namespace au {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kCharsPerLine = 80;

// A file name may be a full path, in either slash.
std::wstring ExtensionOf(std::wstring fileName) {
    for (auto& c : fileName)
        if (c == L'/') c = L'\\';
    return FileExtension(fileName);
}

// A name goes inside double quotes on a header line: a quote or a line
// break in it would end the value or the line, and let the name write
// headers and parts of its own. Escaped after the conversion to bytes, as
// browsers send them, so no converter can bring one back.
std::string QuotedValue(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        if (c == '"') out += "%22";
        else if (c == '\r') out += "%0D";
        else if (c == '\n') out += "%0A";
        else out += c;
    }
    return out;
}

} // namespace

std::string OneBytePerChar(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (wchar_t c : text) bytes += static_cast<uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?';
    return bytes;
}

std::string Base64OfBytes(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const uint32_t b0 = static_cast<uint8_t>(bytes[i]);
        const uint32_t b1 = left > 1 ? static_cast<uint8_t>(bytes[i + 1]) : 0;
        const uint32_t b2 = left > 2 ? static_cast<uint8_t>(bytes[i + 2]) : 0;
        const uint32_t v = (b0 << 16) | (b1 << 8) | b2;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 0x3F];
        out += left > 1 ? kAlphabet[(v >> 6) & 0x3F] : '=';
        out += left > 2 ? kAlphabet[v & 0x3F] : '=';
    }
    return out;
}

std::optional<std::string> BytesOfBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    auto sextet = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int s = k >= 4 - pad ? 0 : sextet(text[i + k]);
            if (s < 0) return std::nullopt;
            v = (v << 6) | static_cast<uint32_t>(s);
        }
        // Bits a shorter group leaves over must be zero.
        if ((pad == 1 && (v & 0xFF)) || (pad == 2 && (v & 0xFFFF))) return std::nullopt;
        bytes += static_cast<char>(v >> 16);
        if (pad < 2) bytes += static_cast<char>((v >> 8) & 0xFF);
        if (pad < 1) bytes += static_cast<char>(v & 0xFF);
    }
    return bytes;
}

std::wstring Base64Encode(const std::wstring& text) {
    const std::string encoded = Base64OfBytes(OneBytePerChar(text));
    std::wstring out;
    out.reserve(encoded.size() + (encoded.size() / kCharsPerLine + 1) * 2);
    for (size_t i = 0; i < encoded.size(); ++i) {
        out += static_cast<wchar_t>(encoded[i]);
        if ((i + 1) % kCharsPerLine == 0) out += L"\r\n";
    }
    return out;
}

std::wstring MakeBoundaryFrom(wchar_t c, const std::wstring& dateTimeText) {
    std::wstring encoded;
    for (wchar_t e : Base64Encode(dateTimeText))
        if (e != L'\r' && e != L'\n') encoded += e;
    return L"---HTTP-DATA-BOUNDARY-" + std::wstring(1, c) + L"-" + encoded + L"---";
}

std::wstring MultipartContentTypeHeader(const std::wstring& boundary) {
    return L"Content-Type: multipart/form-data, boundary=" + boundary;
}

std::string MultipartFormBody(const std::wstring& boundary, const std::vector<FormField>& fields,
                              const FormTextRules& rules) {
    const std::string b = rules.toBytes(boundary);
    std::string body;
    for (const auto& field : fields) {
        body += "--" + b + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + QuotedValue(rules.toBytes(field.fieldName)) + "\"";
        if (!field.fileName.empty()) {
            body += "; filename=\"" + QuotedValue(rules.toBytes(field.fileName)) + "\"\r\n";
            body += "Content-Type: " + rules.toBytes(rules.contentTypeOf(ExtensionOf(field.fileName)));
        }
        body += "\r\n\r\n";
        body += field.content;
        body += "\r\n";
    }
    body += "--" + b + "--\r\n";
    return body;
}

} // namespace au
