#include "command_line.h"

#include "text.h"

namespace au {
namespace {

// Removes the first `count` double quotes.
std::wstring WithoutQuotes(std::wstring text, int count) {
    for (int i = 0; i < count; ++i) {
        const size_t q = text.find(L'"');
        if (q == std::wstring::npos) break;
        text.erase(q, 1);
    }
    return text;
}

// Both quotes are already removed from `s`; `open` and `close` are where
// they stood.
void SplitQuoted(const std::wstring& s, size_t open, size_t close, std::wstring& program, std::wstring& parameters) {
    if (open == 0) {
        program = s.substr(0, close);
        // The character after the closing quote is the separating blank.
        parameters = WithoutQuotes(Trim(Mid(s, close + 1, std::wstring::npos)), 2);
    } else {
        parameters = s.substr(open);
        program = s.substr(0, open - 1);
    }
}

void SplitAtSeparator(const std::wstring& s, std::wstring& program, std::wstring& parameters) {
    static const wchar_t* const kSeparators[] = {L" -", L" /", L" \\", L",", L" %"};
    program = s;
    parameters.clear();
    const bool hasExtension = !FileExtension(s).empty();
    for (const wchar_t* sep : kSeparators) {
        const size_t at = s.find(sep);
        if (at == std::wstring::npos) continue;
        // The blank of a two-character separator goes, its sign stays with
        // the parameters; a comma goes.
        const std::wstring head = s.substr(0, at), tail = TrimRight(s.substr(at + 1));
        // "C:\Program Files\my -tool\x.exe": the "-" lies inside the path.
        if (hasExtension && FileExtension(head).empty()) continue;
        if (tail.empty()) continue;
        program = head;
        parameters = tail;
        break;
    }

    // rundll32 takes "dll,entry" as its parameters: the program ends at the
    // first blank after the rundll name. (Cutting the text's file-name part
    // instead breaks on a DLL given with its path, whose "\" moves the cut.)
    const std::wstring upper = UpperAscii(s);
    const size_t rundll = upper.find(L"RUNDLL");
    if (UpperAscii(FileExtension(program)) == L".DLL" && UpperAscii(program).find(L"RUNDLL") != std::wstring::npos) {
        const size_t blank = s.find(L' ', rundll);
        program = blank == std::wstring::npos ? s : s.substr(0, blank);
        parameters = blank == std::wstring::npos ? std::wstring() : s.substr(blank + 1);
    }
}

} // namespace

std::wstring SplitCommandLine(std::wstring& command, std::wstring& parameters) {
    std::wstring s = Trim(command), program;
    parameters.clear();
    if (!s.empty()) {
        const size_t open = s.find(L'"');
        size_t close = std::wstring::npos;
        if (open != std::wstring::npos) {
            s.erase(open, 1);
            close = s.find(L'"', open);
        }
        if (close != std::wstring::npos) {
            s.erase(close, 1);
            SplitQuoted(s, open, close, program, parameters);
        } else {
            SplitAtSeparator(s, program, parameters);
        }
    }
    command = TrimRight(program);
    parameters = TrimRight(parameters);
    return command;
}

} // namespace au
