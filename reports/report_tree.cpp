#include "report_tree.h"

#include <stdexcept>

#include "uReportEntity.h"
#include "win/handles.h"
#include "win/strings.h"

namespace reports::testing {
namespace {

std::wstring LongForm(const std::wstring& path) { return reports::FileSystemPath(path); }

void WriteBytes(const std::wstring& path, const void* data, size_t size) {
    win::UniqueHFile file(::CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("cannot create " + win::ToUtf8(path));
    DWORD written = 0;
    if (size && !::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr))
        throw std::runtime_error("cannot write " + win::ToUtf8(path));
}

} // namespace

TempTree::TempTree(const std::wstring& label) {
    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    static unsigned counter = 0;
    for (;;) {
        root_ = std::wstring(temp) + label + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter) + L"\\";
        if (::CreateDirectoryW(root_.c_str(), nullptr)) break;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create temp tree");
    }
}

TempTree::~TempTree() { RemoveTree(root_.substr(0, root_.size() - 1)); }

std::wstring TempTree::Dir(const std::wstring& relative, DWORD attributes) {
    std::wstring full = root_ + relative;
    for (size_t pos = root_.size(); pos <= full.size(); ++pos) {
        if (pos == full.size() || full[pos] == L'\\') ::CreateDirectoryW(LongForm(full.substr(0, pos)).c_str(), nullptr);
    }
    if (attributes) SetAttributes(full, attributes);
    return full;
}

std::wstring TempTree::File(const std::wstring& relative, const std::string& content) {
    std::wstring full = root_ + relative;
    if (auto slash = relative.find_last_of(L'\\'); slash != std::wstring::npos) Dir(relative.substr(0, slash));
    WriteBytes(full, content.data(), content.size());
    return full;
}

std::wstring TempTree::File(const std::wstring& relative, const SYSTEMTIME& localTime) {
    std::wstring full = File(relative);
    if (!SetWriteTime(full, localTime)) throw std::runtime_error("cannot set time of " + win::ToUtf8(full));
    return full;
}

SYSTEMTIME Local(int year, int month, int day, int hour, int minute, int second, int ms) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    st.wMilliseconds = static_cast<WORD>(ms);
    return st;
}

bool SetWriteTime(const std::wstring& path, const SYSTEMTIME& localTime) {
    FILETIME local, utc;
    if (!::SystemTimeToFileTime(&localTime, &local) || !::LocalFileTimeToFileTime(&local, &utc)) return false;
    win::UniqueHFile file(::CreateFileW(LongForm(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && ::SetFileTime(file.get(), nullptr, nullptr, &utc);
}

DWORD MarkDirectory(const std::wstring& path) {
    SetAttributes(path, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE);
    DWORD attrs = Attributes(path);
    if (attrs != FILE_ATTRIBUTE_DIRECTORY) return attrs;
    SetAttributes(path, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    return Attributes(path);
}

bool SetAttributes(const std::wstring& path, DWORD attributes) {
    return ::SetFileAttributesW(LongForm(path).c_str(), attributes) != FALSE;
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(LongForm(path).c_str()); }

bool Exists(const std::wstring& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> ListingOrder(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    std::wstring pattern = dir;
    if (pattern.back() != L'\\') pattern += L'\\';
    win::UniqueFindHandle find(::FindFirstFileW(LongForm(pattern + L"*.*").c_str(), &data));
    if (!find) return names;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find.get(), &data));
    return names;
}

void RemoveTree(const std::wstring& path) {
    DWORD attrs = Attributes(path);
    if (attrs == INVALID_FILE_ATTRIBUTES) return;
    if (attrs & FILE_ATTRIBUTE_READONLY) SetAttributes(path, attrs & ~FILE_ATTRIBUTE_READONLY);
    if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
        for (const auto& name : ListingOrder(path)) RemoveTree(path + L"\\" + name);
        ::RemoveDirectoryW(LongForm(path).c_str());
    } else {
        ::DeleteFileW(LongForm(path).c_str());
    }
}

void WriteIni(const std::wstring& path, const std::wstring& text, IniEncoding encoding) {
    if (encoding == IniEncoding::Ansi) {
        std::string bytes = win::ToAnsi(text);
        WriteBytes(path, bytes.data(), bytes.size());
    } else if (encoding == IniEncoding::Utf8 || encoding == IniEncoding::Utf8WithBom) {
        std::string bytes = (encoding == IniEncoding::Utf8WithBom ? "\xEF\xBB\xBF" : "") + win::ToUtf8(text);
        WriteBytes(path, bytes.data(), bytes.size());
    } else {
        std::wstring withBom = L"\xFEFF" + text;
        WriteBytes(path, withBom.data(), withBom.size() * sizeof(wchar_t));
    }
}

} // namespace reports::testing
