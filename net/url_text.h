// Reductions of URLs that are text rules alone, free of platform headers so
// they are tested natively too.
#pragma once
#include <optional>
#include <string>

namespace au {

// The last element of the URL taken as a path: every "/" counts as "\" and
// the text after the last "\" or ":" is the result, a query included. Empty
// for a URL that ends in a slash.
std::wstring URLToFileName(const std::wstring& url);

// What a request asks for: the path and query as the URL writes them,
// escapes kept (decoded, an escaped "&" or "#" or a line break would change
// the request or break its line), without the fragment; blanks and control
// characters (C1 included) escaped as their UTF-8; "/" when the URL has no
// path.
std::wstring RequestObject(const std::wstring& url);

// The URL with "http://" in front when it has no "://".
std::wstring WithDefaultScheme(const std::wstring& url);

// False when the URL writes out a port above 65535 after its host: Wine's
// cracker wraps such a port into 16 bits instead of refusing it.
bool WrittenPortFits(const std::wstring& url);

// %xx escapes decoded; runs of escaped bytes that form UTF-8 become those
// characters, other bytes the character of the same number. A "%" that does
// not start an escape stays as it is.
std::wstring DecodeURLEscapes(const std::wstring& text);

// The URL as it may be handed to the shell or a browser's command line: only
// http and https addresses, with blanks, double quotes and control
// characters escaped so the text stays one argument. nullopt for any other
// scheme, which the shell would run as a file or program.
std::optional<std::wstring> ShellSafeURL(const std::wstring& url);

} // namespace au
