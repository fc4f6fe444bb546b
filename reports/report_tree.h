// Report trees for tests and the benchmark: a fresh directory on drive C of
// the prefix, subdirectories and files with chosen attributes and last-write
// times, and "config.ini" files in the encodings users save them in.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace reports::testing {

class TempTree {
public:
    // A new empty directory under the temporary directory.
    explicit TempTree(const std::wstring& label = L"reports");
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // Absolute path with trailing backslash.
    const std::wstring& Root() const { return root_; }
    std::wstring Path(const std::wstring& relative) const { return root_ + relative; }

    // Creates a directory (and its parents); `attributes` 0 leaves them as created.
    std::wstring Dir(const std::wstring& relative, DWORD attributes = 0);
    // Creates a file with the content and, when `localTime` is given, that
    // last-write time (local wall-clock time).
    std::wstring File(const std::wstring& relative, const std::string& content = "x");
    std::wstring File(const std::wstring& relative, const SYSTEMTIME& localTime);

private:
    std::wstring root_;
};

SYSTEMTIME Local(int year, int month, int day, int hour, int minute, int second, int ms = 0);
// Sets the last-write time of a file or directory from a local time.
bool SetWriteTime(const std::wstring& path, const SYSTEMTIME& localTime);
bool SetAttributes(const std::wstring& path, DWORD attributes);
// Gives a directory one attribute bit besides "directory": archive (value 48)
// where the file system keeps it, else hidden (18), since Wine keeps only the
// hidden and system bits of a directory. Returns the value now read back.
DWORD MarkDirectory(const std::wstring& path);
DWORD Attributes(const std::wstring& path);
bool Exists(const std::wstring& path);
// Names in `dir` in the order the directory listing returns them.
std::vector<std::wstring> ListingOrder(const std::wstring& dir);
// Deletes a tree, clearing read-only bits on the way.
void RemoveTree(const std::wstring& path);

enum class IniEncoding { Ansi, Utf16WithBom, Utf8, Utf8WithBom };
// Writes "config.ini" text (lines joined with CRLF) in the encoding; ANSI
// means the system's code page.
void WriteIni(const std::wstring& path, const std::wstring& text, IniEncoding encoding);

} // namespace reports::testing
