// Splitting a registered shell command ("C:\...\iexplore.exe" -nohome,
// rundll32.exe url.dll,FileProtocolHandler %1) into program and parameters.
// Free of platform headers.
#pragma once
#include <string>

namespace au {

// `command` becomes its program part, which is also returned; `parameters`
// receives the rest. Both are trimmed at the end. A quoted program or a
// quoted parameter decides the split; otherwise the first of " -", " /",
// " \", ",", " %" that splits off parameters, unless it would cut a path
// whose file name has an extension. A rundll program keeps its DLL and entry
// in the parameters.
std::wstring SplitCommandLine(std::wstring& command, std::wstring& parameters);

} // namespace au
