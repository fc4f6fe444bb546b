// Base64 and the multipart/form-data request body of an upload. The body is
// built by a pure function from the boundary and the parts; the platform
// supplies the 8-bit text conversion and the content types (boundary.cpp).
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace au {

// The text's characters as bytes, one byte per character: characters above
// U+00FF, which one byte cannot hold, become "?".
std::string OneBytePerChar(const std::wstring& text);

// Standard Base64 of the text taken one byte per character, padded with "=",
// with CR LF after every 80 output characters (also at the very end).
std::wstring Base64Encode(const std::wstring& text);

// Standard Base64 of the bytes, padded, on one line.
std::string Base64OfBytes(std::string_view bytes);
// The bytes of standard padded Base64, or nullopt for anything else: a
// character outside the alphabet (blanks and line breaks included), a
// length that is no multiple of four, or bits after the last byte that are
// not zero, so every byte string has exactly one accepted text.
std::optional<std::string> BytesOfBase64(std::string_view text);

// "---HTTP-DATA-BOUNDARY-" + c + "-" + the Base64 of the current local date
// and time in the user's format + "---".
std::wstring MakeBoundary(wchar_t c);
// The same from a given date-time text. Line breaks of the Base64 are left
// out: a boundary is one line.
std::wstring MakeBoundaryFrom(wchar_t c, const std::wstring& dateTimeText);

// The request header line of an upload, without a line end.
std::wstring MultipartContentTypeHeader(const std::wstring& boundary);

struct FormField {
    std::wstring fieldName;
    std::wstring fileName;  // empty for a plain field; may be a full path
    std::string content;    // the bytes of the part
};

struct FormTextRules {
    std::function<std::string(const std::wstring&)> toBytes;          // names and boundary into 8-bit text
    std::function<std::wstring(const std::wstring&)> contentTypeOf;   // extension (".txt", or empty) to content type
};

// The whole body: per field its boundary line, Content-Disposition (with
// filename and Content-Type when there is a file name), a blank line, the
// content and CR LF; then the closing boundary line. In the name and file
// name a double quote, CR and LF are sent as %22, %0D and %0A.
std::string MultipartFormBody(const std::wstring& boundary, const std::vector<FormField>& fields,
                              const FormTextRules& rules);
// With the system's ANSI code page and GetMIMEType.
std::string MultipartFormBody(const std::wstring& boundary, const std::vector<FormField>& fields);

} // namespace au
