#include "form_data.h"

#include <cstdint>

#include "text.h"

namespace au {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kGroupsPerLine = 20;

// A file name may be a full path, in either slash.
std::wstring ExtensionOf(std::wstring fileName) {
    for (auto& c : fileName)
        if (c == L'/') c = L'\\';
    return FileExtension(fileName);
}

} // namespace

std::string OneBytePerChar(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (wchar_t c : text) bytes += static_cast<uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?';
    return bytes;
}

std::wstring Base64Encode(const std::wstring& text) {
    const std::string bytes = OneBytePerChar(text);
    std::wstring out;
    out.reserve((bytes.size() + 2) / 3 * 4 + (bytes.size() / 60 + 1) * 2);
    size_t groups = 0;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const uint32_t b0 = static_cast<uint8_t>(bytes[i]);
        const uint32_t b1 = left > 1 ? static_cast<uint8_t>(bytes[i + 1]) : 0;
        const uint32_t b2 = left > 2 ? static_cast<uint8_t>(bytes[i + 2]) : 0;
        const uint32_t v = (b0 << 16) | (b1 << 8) | b2;
        out += static_cast<wchar_t>(kAlphabet[v >> 18]);
        out += static_cast<wchar_t>(kAlphabet[(v >> 12) & 0x3F]);
        out += left > 1 ? static_cast<wchar_t>(kAlphabet[(v >> 6) & 0x3F]) : L'=';
        out += left > 2 ? static_cast<wchar_t>(kAlphabet[v & 0x3F]) : L'=';
        if (++groups % kGroupsPerLine == 0) out += L"\r\n";
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
        body += "Content-Disposition: form-data; name=\"" + rules.toBytes(field.fieldName) + "\"";
        if (!field.fileName.empty()) {
            body += "; filename=\"" + rules.toBytes(field.fileName) + "\"\r\n";
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
