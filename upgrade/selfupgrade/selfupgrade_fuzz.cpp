// The self-upgrade program's reading of its command line and its plan of
// moves, fed any arguments and any directory listing: every move takes a
// ".uTMP" file of the program's directory to its own name without the
// suffix, in that directory, and nowhere else. The one exception the
// program is built for: with its own download missing, the first program
// downloaded under another name (lower-case "exe") becomes the program,
// which is a file of the same directory too.
// Input: a first byte of switches (bit 0: the program's own download is
// there; bit 1: the name the directory stores the program under is given,
// else it is the path's last element as when the program is not found),
// then text (well-formed UTF-8 as characters, any other byte as the
// character of its number) in parts divided by NUL: the arguments, one a
// line; the listing, one name a line; the stored name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "upgrade/selfupgrade/selfupgrade_protocol.h"
#include "upgrade/selfupgrade/selfupgrade_rules.h"

using namespace selfupgrade;

namespace {

constexpr size_t kSuffix = 5;  // ".uTMP"


std::vector<std::wstring> Split(const std::wstring& text, wchar_t at) {
    std::vector<std::wstring> parts(1);
    for (const wchar_t c : text) {
        if (c == at) parts.emplace_back();
        else parts.back() += c;
    }
    return parts;
}

std::wstring Join(const std::vector<std::wstring>& parts, size_t from, size_t to) {
    std::wstring joined;
    for (size_t i = from; i < to; ++i) joined += (i == from ? L"" : L" ") + parts[i];
    return joined;
}

// The directory Windows reads in a path: up to its last separator, either
// slash, or the drive of a path such as "C:app.exe".
std::wstring WindowsDirectory(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) return path.substr(0, slash + 1);
    return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : std::wstring();
}

// A name Windows keeps in the directory it is given in, as it is: no
// separator, no drive or stream colon, and no dot or blank at the end for
// it to drop (which also rules out "." and "..").
bool PlainName(const std::wstring& name) {
    return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos && name.back() != L'.' &&
           name.back() != L' ';
}

bool LowerAsciiSuffix(const std::wstring& name) {
    if (name.size() < kSuffix) return false;
    std::wstring tail = name.substr(name.size() - kSuffix);
    for (wchar_t& c : tail)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    return tail == L".utmp";
}

void CheckArguments(const std::vector<std::wstring>& args, const Invocation& inv) {
    size_t plus = 0;
    while (plus < args.size() && !(!args[plus].empty() && args[plus][0] == L'+')) ++plus;
    const std::wstring all = Join(args, 0, args.size());
    if (plus == args.size()) {
        FUZZ_CHECK(inv.programPath == all, "without a '+' argument every argument is the path");
        FUZZ_CHECK(inv.restartArgument.empty(), "without a '+' argument nothing is handed on");
    } else {
        FUZZ_CHECK(inv.programPath == Join(args, 0, plus), "the path is what comes before the first '+'");
        FUZZ_CHECK((plus == 0 ? L"" : inv.programPath + L" ") + L"+" + inv.restartArgument == all,
                   "the path and the restart argument are the arguments, in order, and nothing else");
    }
    FUZZ_CHECK(inv.externalSetup == (!inv.restartArgument.empty() && inv.restartArgument.back() == L'1'),
               "the last character alone chooses the external setup");
    const Invocation again = ParseArguments(args);
    FUZZ_CHECK(again.programPath == inv.programPath && again.restartArgument == inv.restartArgument &&
                   again.externalSetup == inv.externalSetup,
               "the command line reads the same twice");
}

// What the engine sends comes back: a path that is one argument, then the
// restart argument with its method digit.
void CheckEngineArguments(const std::wstring& path, const std::wstring& params) {
    if (!path.empty() && path[0] == L'+') return;
    for (const ApplyMethod method : {ApplyMethod::kSelfUpgrade, ApplyMethod::kExternalSetup}) {
        const std::wstring argument = RestartArgument(params, method);
        const Invocation inv = ParseArguments({path, argument});
        FUZZ_CHECK(inv.programPath == path, "the engine's path reads back");
        FUZZ_CHECK(L"+" + inv.restartArgument == argument, "the engine's restart argument reads back");
        FUZZ_CHECK(inv.externalSetup == (method == ApplyMethod::kExternalSetup), "the engine's method reads back");
        FUZZ_CHECK(IsRestartArgument(inv.restartArgument, params), "the restarted program knows its argument");
    }
}

void CheckPlan(const PlanInput& in, const Plan& plan) {
    if (in.programPath.empty()) {
        FUZZ_CHECK(plan.moves.empty() && plan.start.empty(), "without a program nothing is moved or started");
        return;
    }
    const std::wstring& dir = in.directory;
    FUZZ_CHECK(dir == WindowsDirectory(in.programPath), "the plan works in the program's own directory");

    FUZZ_CHECK(DirectoryOf(in.programPath) + FileNameOf(in.programPath) == in.programPath,
               "the directory and the name are the path, cut in two");
    size_t listed = 0, setups = 0;
    bool programSeen = false;  // a downloaded program before this move
    for (const Move& move : plan.moves) {
        // The next listed name this move comes from, in listing order.
        while (listed < in.downloads.size() && dir + in.downloads[listed] != move.from) ++listed;
        FUZZ_CHECK(listed < in.downloads.size(), "every move comes from the listing, in its order");
        const std::wstring& name = in.downloads[listed++];
        FUZZ_CHECK(PlainName(name), "a move comes from a file of the directory itself");
        FUZZ_CHECK(IsDownloadName(name) && LowerAsciiSuffix(name) && name.size() > kSuffix,
                   "a move comes from a download");
        FUZZ_CHECK(move.to.size() > dir.size() && move.to.compare(0, dir.size(), dir) == 0,
                   "a move stays in the directory");
        const std::wstring target = move.to.substr(dir.size());
        FUZZ_CHECK(PlainName(target), "a move goes to a file of the directory itself");
        const std::wstring own = name.substr(0, name.size() - kSuffix);
        const bool standsIn = !programSeen && !in.programDownloadExists && own.ends_with(L"exe");
        programSeen = programSeen || own.ends_with(L"exe");
        if (standsIn && !in.externalSetup) {
            // The program's own file takes the downloaded one, when the
            // directory's name for it is one.
            FUZZ_CHECK(target == (PlainName(in.programName) ? in.programName : own),
                       "the first downloaded program stands in for the missing program");
        } else {
            FUZZ_CHECK(target == own, "a download goes to its own name without the suffix");
        }
        FUZZ_CHECK(move.setupProgram == (standsIn && in.externalSetup), "only the first program is the setup");
        if (move.setupProgram) {
            ++setups;
            FUZZ_CHECK(plan.start == move.to && plan.startAfterSetup == in.programPath,
                       "a setup program is started first, the program after it");
        }
    }

    size_t usable = 0;
    for (const std::wstring& name : in.downloads)
        if (PlainName(name) && IsDownloadName(name) && PlainName(name.substr(0, name.size() - kSuffix))) ++usable;
    FUZZ_CHECK(plan.moves.size() == usable, "every usable download is put in place");

    if (setups == 0) {
        FUZZ_CHECK(plan.start == in.programPath && plan.startAfterSetup.empty(),
                   "the program is started again, and only it");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t switches = data[0];
    const std::vector<std::wstring> parts = Split(fuzz::WideOfBytes(data + 1, size - 1), L'\0');
    const std::vector<std::wstring> args = Split(parts[0], L'\n');

    const Invocation inv = ParseArguments(args);
    CheckArguments(args, inv);
    CheckEngineArguments(args.front(), args.back());

    // Put together as the program does from the disk it finds.
    PlanInput in;
    in.programPath = inv.programPath;
    in.directory = DirectoryOf(inv.programPath);
    in.externalSetup = inv.externalSetup;
    in.programName = (switches & 2) && parts.size() > 2 ? parts[2] : FileNameOf(inv.programPath);
    in.programDownloadExists = (switches & 1) != 0;
    if (parts.size() > 1) in.downloads = Split(parts[1], L'\n');

    const Plan plan = MakePlan(in);
    CheckPlan(in, plan);

    const Plan again = MakePlan(in);
    FUZZ_CHECK(again.start == plan.start && again.startAfterSetup == plan.startAfterSetup &&
                   again.moves.size() == plan.moves.size(),
               "the same listing gives the same plan twice");
    for (size_t i = 0; i < plan.moves.size(); ++i)
        FUZZ_CHECK(again.moves[i].from == plan.moves[i].from && again.moves[i].to == plan.moves[i].to &&
                       again.moves[i].setupProgram == plan.moves[i].setupProgram,
                   "the same listing gives the same plan twice");
    return 0;
}
