#include "selfupgrade_rules.h"

#include <algorithm>

namespace selfupgrade {
namespace {

std::wstring JoinWithBlanks(std::vector<std::wstring>::const_iterator first,
                            std::vector<std::wstring>::const_iterator last) {
    std::wstring joined;
    for (auto it = first; it != last; ++it) {
        if (it != first) joined += L' ';
        joined += *it;
    }
    return joined;
}

// Where the last element of a path starts, as Windows reads the path: after
// its last separator, either slash, or after the drive of "C:app.exe".
// Reading only '\\' would list and move the downloads of another directory
// than the one the program is in.
size_t NameStart(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) return slash + 1;
    return path.size() >= 2 && path[1] == L':' ? 2 : 0;
}

// A name Windows takes as it stands, for a file of the directory it is
// joined to: no separator, no drive or stream colon, and no dot or blank at
// the end for it to drop, which would make "x." another file's name and "."
// or ".." the directory or its parent. The listing never gives other names,
// but a move is not to be trusted to that.
bool IsPlainFileName(const std::wstring& name) {
    return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos && name.back() != L'.' &&
           name.back() != L' ';
}

} // namespace

Invocation ParseArguments(const std::vector<std::wstring>& args) {
    Invocation result;
    const auto plus =
        std::find_if(args.begin(), args.end(), [](const std::wstring& a) { return !a.empty() && a.front() == L'+'; });
    result.programPath = JoinWithBlanks(args.begin(), plus);
    if (plus != args.end()) {
        result.restartArgument = plus->substr(1);
        if (plus + 1 != args.end()) result.restartArgument += L' ' + JoinWithBlanks(plus + 1, args.end());
    }
    result.externalSetup = MethodOf(result.restartArgument) == ApplyMethod::kExternalSetup;
    return result;
}

std::wstring DirectoryOf(const std::wstring& path) { return path.substr(0, NameStart(path)); }

std::wstring FileNameOf(const std::wstring& path) { return path.substr(NameStart(path)); }

Plan MakePlan(const PlanInput& input) {
    Plan plan;
    // Without a program there is neither a directory to work in nor anything
    // to start; the current directory is not a guess worth acting on.
    if (input.programPath.empty()) return plan;
    plan.start = input.programPath;

    // When the program's own download is missing, the first downloaded
    // program stands in for it: the engine may have fetched the new version
    // under the name the server gives it, or, for the external method, a
    // setup program that installs it.
    bool standInTaken = input.programDownloadExists;
    for (const std::wstring& name : input.downloads) {
        if (!IsDownloadName(name) || !IsPlainFileName(name)) continue;
        Move move{input.directory + name, std::wstring(), false};
        std::wstring target = ReplacedName(name);
        if (!IsPlainFileName(target)) continue;
        // Only the lower-case ending counts, as the engine names what it
        // downloads; "TOOL.EXE" is some other file shipped with the update.
        if (!standInTaken && target.ends_with(L"exe")) {
            standInTaken = true;
            if (!input.externalSetup) {
                if (IsPlainFileName(input.programName)) target = input.programName;
            } else {
                plan.startAfterSetup = input.programPath;
                plan.start = input.directory + target;
                move.setupProgram = true;
            }
        }
        move.to = input.directory + target;
        plan.moves.push_back(std::move(move));
    }
    return plan;
}

std::wstring StartCommandLine(const std::wstring& program, const std::wstring& argument) {
    std::wstring line = L"\"" + program + L"\"";
    if (!argument.empty()) line += L' ' + argument;
    return line;
}

} // namespace selfupgrade
