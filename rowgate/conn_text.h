// The connection text handed back to callers. Free of platform headers.
#pragma once
#include <string>

namespace rowgate {

// Keeps the connection-defining items of an initialization string. Items
// end at a ';', except that a value whose opening quote is not closed
// before that ';' runs to the next quote. The text is the kept items in
// the provider's order, each copied whole from the raw text, joined by
// ';': those beginning (case-sensitively) with Provider, Data Source,
// Integrated Security, Persist Security, User ID, Password, Extended
// Properties, Initial Catalog or Jet OLEDB:Database Password; a Data
// Source, Extended Properties or Initial Catalog whose value is exactly
// two double quotes is dropped, and so is every other item.
std::string FilterConnectionText(const std::string& raw);

} // namespace rowgate
