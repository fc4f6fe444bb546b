// The registered shell command of a document type, split into the program
// to start and its parameters: the registry holds what any installer wrote.
// There is no quoting function to pair it with, so the rules its header
// promises are checked each on its own: both parts trimmed at the end, a
// quoted program or parameter comes out as it was quoted, and an unquoted
// command is the program, what separates it, and the parameters, in that
// order and nothing else. Input: a first byte choosing the mode, then
//   0: a command (UTF-8, other bytes one character each);
//   1: a program and parameters separated by a newline, put together by the
//      target as "program" parameters;
//   2: the same as program "parameters".
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "net/command_line.h"
#include "fuzz_input.h"

namespace {

struct Split {
    std::wstring program, parameters, returned;
};

Split SplitOf(const std::wstring& command) {
    Split s{command, L"stale", {}};
    s.returned = au::SplitCommandLine(s.program, s.parameters);
    return s;
}

bool EndsTrimmed(const std::wstring& text) { return text.empty() || !fuzz::IsBlank(text.back()); }

std::wstring Without(std::wstring text, wchar_t dropped) {
    std::erase(text, dropped);
    return text;
}

// Any command: the rules that hold whatever it is.
Split CheckAny(const std::wstring& command) {
    const Split split = SplitOf(command);
    (void)SplitOf(L"\"C:\\other dir\\x.exe\" -y, %1");
    const Split again = SplitOf(command);
    FUZZ_CHECK(split.program == again.program && split.parameters == again.parameters, "the same split twice");
    FUZZ_CHECK(split.returned == split.program, "the program part is returned and left in the command");
    FUZZ_CHECK(EndsTrimmed(split.program) && EndsTrimmed(split.parameters), "both parts are trimmed at the end");
    const std::wstring s = fuzz::Trim(command);
    if (s.empty()) FUZZ_CHECK(split.program.empty() && split.parameters.empty(), "an empty command has no parts");
    FUZZ_CHECK(split.program.size() + split.parameters.size() <= s.size(), "the parts are no longer than the command");

    if (s.find(L'"') != std::wstring::npos) return split;
    // Unquoted: the program, then blanks or one comma between, then the
    // parameters, and a command without parameters is all program.
    FUZZ_CHECK(s.starts_with(split.program), "an unquoted program is where the command starts");
    FUZZ_CHECK(s.ends_with(split.parameters), "unquoted parameters are where the command ends");
    const std::wstring between =
        s.substr(split.program.size(), s.size() - split.program.size() - split.parameters.size());
    size_t commas = 0;
    for (wchar_t c : between) {
        FUZZ_CHECK(fuzz::IsBlank(c) || c == L',', "only blanks or a comma separate program and parameters");
        commas += c == L',';
    }
    FUZZ_CHECK(commas <= 1, "at most one comma goes between program and parameters");
    if (split.parameters.empty()) FUZZ_CHECK(split.program == s, "without parameters the command is the program");
    else FUZZ_CHECK(!between.empty(), "something separates program and parameters");
    bool separated = false;
    for (const wchar_t* sep : {L" -", L" /", L" \\", L",", L" %"}) separated |= s.find(sep) != std::wstring::npos;
    if (!separated) {
        std::wstring upper = s;
        for (auto& c : upper)
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
        if (upper.find(L"RUNDLL") == std::wstring::npos)
            FUZZ_CHECK(split.program == s && split.parameters.empty(), "a command with no separator is all program");
    }
    return split;
}

// "program" parameters: the program is what the quotes held.
void CheckQuotedProgram(const std::wstring& program, const std::wstring& parameters) {
    if (program.find(L'"') != std::wstring::npos) return;
    const std::wstring plain = Without(parameters, L'"');
    for (const std::wstring& params : {plain, L"\"" + plain + L"\""}) {
        const Split split = CheckAny(L"\"" + program + L"\" " + params);
        FUZZ_CHECK(split.program == fuzz::TrimRight(program), "a quoted program is what the quotes held");
        const std::wstring expected = params == plain ? fuzz::Trim(plain) : fuzz::TrimRight(plain);
        FUZZ_CHECK(split.parameters == expected, "after a quoted program the rest are the parameters, unquoted");
    }
}

// program "parameters": the parameters are what the quotes held.
void CheckQuotedParameters(const std::wstring& program, const std::wstring& parameters) {
    if (program.find(L'"') != std::wstring::npos || parameters.find(L'"') != std::wstring::npos) return;
    if (fuzz::Trim(program).empty()) return;  // a quote up front quotes the program
    const Split split = CheckAny(program + L" \"" + parameters + L"\"");
    FUZZ_CHECK(split.program == fuzz::Trim(program), "before a quoted parameter is the program");
    FUZZ_CHECK(split.parameters == fuzz::TrimRight(parameters), "a quoted parameter is what the quotes held");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::wstring text = fuzz::WideOfBytes(data + 1, size - 1);
    const size_t cut = text.find(L'\n');
    const std::wstring first = text.substr(0, cut), second = cut == std::wstring::npos ? L"" : text.substr(cut + 1);
    switch (data[0] % 3) {
    case 0: CheckAny(text); break;
    case 1: CheckQuotedProgram(first, second); break;
    default: CheckQuotedParameters(first, second); break;
    }
    return 0;
}
