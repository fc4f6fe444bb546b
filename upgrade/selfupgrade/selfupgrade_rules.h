// Decisions of the self-upgrade program that need no file system: what its
// command line asks for, which downloaded file goes where, and what is
// started afterwards. The Win32 side only looks at the disk, then follows
// the plan made here.
#pragma once
#include <string>
#include <vector>

#include "selfupgrade_protocol.h"

namespace selfupgrade {

struct Invocation {
    std::wstring programPath;       // the main program, as the caller named it
    std::wstring restartArgument;   // handed on to the program started again
    bool externalSetup = false;     // a downloaded setup program runs first
};

// The arguments after the program's own name (CommandLine of the protocol,
// split). The first one beginning with '+' opens the restart argument;
// everything before it is the program path, re-joined with single blanks,
// since older callers pass the path unquoted.
Invocation ParseArguments(const std::vector<std::wstring>& args);

// Up to and including the last '\' or '/' (without either, the drive of
// "C:app.exe", else empty), and what follows it: both slashes separate as
// Windows reads the path.
std::wstring DirectoryOf(const std::wstring& path);
std::wstring FileNameOf(const std::wstring& path);

struct PlanInput {
    std::wstring directory;         // the main program's: DirectoryOf(programPath)
    std::wstring programPath;       // the main program as invoked
    std::wstring programName;       // its file name as stored on disk
    bool programDownloadExists = false;  // programPath + kDownloadSuffix is there
    bool externalSetup = false;
    std::vector<std::wstring> downloads;  // names matching "*.uTMP", in directory order
};

struct Move {
    std::wstring from;
    std::wstring to;
    bool setupProgram = false;      // kept hidden while it waits to be run
};

struct Plan {
    std::vector<Move> moves;
    // Started first, with the restart argument. Empty: nothing is started.
    std::wstring start;
    // Non-empty only when `start` is a downloaded setup program: once it has
    // ended, its file is deleted and this program is started.
    std::wstring startAfterSetup;
};

// A listed name that is no plain file name, or whose name without the
// suffix is none (a separator, a colon, a dot or blank at the end: "..uTMP"
// would replace the directory itself), is left where it is; so is the
// stored program name for a stand-in.
Plan MakePlan(const PlanInput& input);

// `"<program>" argument`, or only the quoted program without an argument.
std::wstring StartCommandLine(const std::wstring& program, const std::wstring& argument);

} // namespace selfupgrade
