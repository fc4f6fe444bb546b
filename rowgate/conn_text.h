// The connection text handed back to callers. Free of platform headers.
#pragma once
#include <string>

namespace rowgate {

// Keeps the connection-defining items of an initialization string.
std::string FilterConnectionText(const std::string& raw);


} // namespace rowgate
