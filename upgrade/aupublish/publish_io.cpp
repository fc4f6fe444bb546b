#include "upgrade/aupublish/publish_io.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <vector>

#include "win/crypto.h"
#include "win/error.h"
#include "win/handles.h"
#include "win/strings.h"

namespace au {
namespace {

void WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, piece, &written, nullptr)) win::RaiseLastError();
        done += written;
    }
    // The file is about to stand in for the only copy: it must be on disk.
    if (!::FlushFileBuffers(file)) win::RaiseLastError();
}

// The folder of a path, with its separator; empty for a bare name.
std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

template <typename T>
struct LocalTraits {
    using Type = T;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type p) noexcept { return p != nullptr; }
    static void close(Type p) noexcept { ::LocalFree(p); }
};

// This user's SID as text, for a rule naming only them.
std::wstring UserSid() {
    win::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) win::RaiseLastError();
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) win::RaiseLastError();
    win::UniqueOwner<LocalTraits<wchar_t*>> text;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, text.put()))
        win::RaiseLastError();
    return text.get();
}

} // namespace

std::string ReadSmallFile(const std::wstring& path, uint64_t limit) {
    win::UniqueHFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) win::RaiseLastError();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) win::RaiseLastError();
    if (static_cast<uint64_t>(size.QuadPart) > limit)
        throw win::Error(L"the file has " + std::to_wstring(size.QuadPart) + L" bytes, more than such a file holds",
                         ERROR_FILE_TOO_LARGE);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
        win::RaiseLastError();
    bytes.resize(got);
    return bytes;
}

std::optional<FileDigest> DigestOfFile(const std::wstring& path, uint32_t& error) {
    win::UniqueHFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        error = ::GetLastError();
        return std::nullopt;
    }
    win::Sha256 hash;
    std::vector<char> buffer(1 << 16);
    FileDigest digest;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            win::RaiseLastError();
        if (got == 0) break;
        hash.Update(buffer.data(), got);
        digest.size += got;
    }
    digest.sha256 = hash.Finish();
    return digest;
}

void ReplaceFileBytes(const std::wstring& path, const std::string& bytes) {
    std::wstring folder = FolderOf(path);
    wchar_t temp[MAX_PATH + 1] = {};
    // The temporary file sits beside the target: a move within one volume
    // replaces it in one step.
    if (!::GetTempFileNameW(folder.empty() ? L"." : folder.c_str(), L"aup", 0, temp)) win::RaiseLastError();
    win::ScopeExit removeTemp([&] { ::DeleteFileW(temp); });
    {
        win::UniqueHFile file(::CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
        if (!file) win::RaiseLastError();
        WriteAll(file.get(), bytes);
    }
    if (!::MoveFileExW(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) win::RaiseLastError();
    removeTemp.Dismiss();
}

void CreateOwnerOnlyFile(const std::wstring& path, const std::string& bytes) {
    // Protected, so no inherited entry lets anyone else read the key. The
    // user by SID rather than OWNER RIGHTS: what an elevated administrator
    // creates may be owned by the Administrators group, and Wine maps only
    // the user's SID to the file's owner bits (OWNER RIGHTS leaves it mode 000).
    const std::wstring rule = L"D:P(A;;FA;;;" + UserSid() + L")";
    win::UniqueOwner<LocalTraits<PSECURITY_DESCRIPTOR>> descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(rule.c_str(), SDDL_REVISION_1, descriptor.put(),
                                                                nullptr))
        win::RaiseLastError();
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    win::UniqueHFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
    if (!file) win::RaiseLastError();
    // Half a key is no key: a file that could not be written whole goes.
    win::ScopeExit removePartial([&] {
        file.reset();
        ::DeleteFileW(path.c_str());
    });
    WriteAll(file.get(), bytes);
    removePartial.Dismiss();
}

void PrintLine(bool toError, const std::wstring& line) {
    const HANDLE out = ::GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    const std::wstring text = line + L"\r\n";
    DWORD mode = 0, written = 0;
    if (::GetConsoleMode(out, &mode)) {
        ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = win::ToAnsi(text);
    ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int64_t SecondsSince1970Now() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
    return static_cast<int64_t>((ticks - kTicksFrom1601To1970) / 10000000);
}

} // namespace au
