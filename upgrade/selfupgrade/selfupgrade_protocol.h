// What the upgrade engine and the self-upgrade program agree on, in one
// place for both: the name downloads are kept under, the name of the
// self-upgrade program, and its command line - the restart argument with the
// digit of the method the update is applied by. The engine builds these and
// Virorova3.exe reads them; nothing here touches the platform.
#pragma once
#include <string>

namespace selfupgrade {

// The ending of every downloaded file, next to the one it replaces.
inline constexpr wchar_t kDownloadSuffix[] = L".uTMP";
// What the engine writes the self-upgrade program to, in the temporary directory.
inline constexpr wchar_t kProgramFileName[] = L"Virorova3.exe";

enum class ApplyMethod { kSelfUpgrade, kExternalSetup };

// The argument the engine passes after the program's path: "+" opens it
// (the program path before it may hold blanks unquoted), then the restart
// parameter and the method's digit, '1' for an external setup program and
// '0' otherwise.
std::wstring RestartArgument(const std::wstring& restartParams, ApplyMethod method);

// The method a restart argument (without its "+") asks for: the digit at
// its end; anything but '1' is the self-upgrade.
ApplyMethod MethodOf(const std::wstring& restartArgument);

// Whether a program started again recognises `argument` as the restart:
// `restartParams` itself, or followed by one method digit.
bool IsRestartArgument(const std::wstring& argument, const std::wstring& restartParams);

// "<self-upgrade program>" "<program>" <restart argument>: both paths quoted
// so that a blank or a "+" in them cannot split them.
std::wstring CommandLine(const std::wstring& selfUpgradePath, const std::wstring& programPath,
                         const std::wstring& restartArgument);

// Whether a directory entry is a download: the suffix in any case (the
// platform's listing matches without regard to case), after at least one
// character, since a bare ".uTMP" names no file to replace.
bool IsDownloadName(const std::wstring& name);

// The file a download replaces: its name without the suffix. A name that is
// no download comes back as it is.
std::wstring ReplacedName(const std::wstring& downloadName);

} // namespace selfupgrade
