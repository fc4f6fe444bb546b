#include "uReportEntity.h"

#include <windows.h>

#include <vector>

#include "uReportRules.h"
#include "win/handles.h"
#include "win/ini.h"
#include "win/strings.h"

std::unique_ptr<TReportContainer> ReportContainer;

void ReleaseReportCatalogue() { ReportContainer.reset(); }

namespace reports {
namespace {

bool IsDotEntry(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == L'\0') || (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

// True when no component of the path is "." or ".." and no '/' appears, i.e.
// the path means the same with the "\\?\" prefix as without it.
bool IsPlainPath(const std::wstring& path) {
    if (path.find(L'/') != std::wstring::npos) return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        std::wstring part = path.substr(start, end - start);
        if (part == L"." || part == L"..") return false;
        start = end + 1;
    }
    return true;
}

std::wstring AbsolutePath(const std::wstring& path) {
    if (path.empty()) return path;
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
        if (n == 0) return path;
        if (n < buf.size()) return std::wstring(buf.data(), n);
        buf.resize(n + 1);
    }
}

// The whole settings file; empty when it is missing, unreadable or larger
// than any settings file has reason to be.
std::string ReadSettingsBytes(const std::wstring& path) {
    if (path.empty()) return {};
    win::UniqueHFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > (16 << 20)) return {};
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return {};
    bytes.resize(read);
    return bytes;
}

// Section and key names match as the profile functions match them.
bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

} // namespace

std::wstring FileSystemPath(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0 || !IsPlainPath(path)) return path;
    const bool driveAbsolute = path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
                               ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    if (driveAbsolute) return L"\\\\?\\" + path;
    if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\') return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

double ReportFileTime(const std::wstring& path) {
    // The attribute query reads one entry; a find call with the full name
    // would have Wine scan the whole directory for every file, making a scan
    // quadratic in the size of a report type's directory.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(FileSystemPath(path).c_str(), GetFileExInfoStandard, &data)) return 0.0;
    FILETIME local;
    WORD dosDate = 0, dosTime = 0;
    if (!::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local)) return 0.0;
    // Times outside 1980-2107 have no MS-DOS form; they count as unreadable
    // rather than as whatever the failed conversion left behind.
    if (!::FileTimeToDosDateTime(&local, &dosDate, &dosTime)) return 0.0;
    return DosDateTimeToDateTime(dosDate, dosTime);
}

} // namespace reports

const wchar_t TReportContainer::kDataRoot[] = L"c:\\VORTAN_NSSB\\";

TReportContainer::TReportContainer() : TReportContainer(kDataRoot, win::ExeDir() + L"config.ini") {}

TReportContainer::TReportContainer(std::wstring dataRoot, std::wstring configPath)
    : FDataRoot(std::move(dataRoot)),
      // The profile functions look for a bare file name in the Windows
      // directory; anchor it where the caller meant it.
      FConfigPath(reports::AbsolutePath(configPath)) {
    std::string bytes = reports::ReadSettingsBytes(FConfigPath);
    if (reports::IsUtf8SettingsText(bytes)) {
        FConfigUtf8 = true;
        FConfigText = win::FromUtf8(bytes);
    }
}

std::wstring TReportContainer::ReportTypeNameOf(const std::wstring& reportCode) const {
    if (FConfigPath.empty()) return {};
    if (FConfigUtf8)
        return reports::FindProfileValue(FConfigText, L"reportType", reportCode, reports::SameNameIgnoringCase)
            .value_or(std::wstring());
    return win::ReadIniString(FConfigPath, L"reportType", reportCode.c_str(), L"");
}

void TReportContainer::InitReportDir() {
    WIN32_FIND_DATAW entry;
    win::UniqueFindHandle types(::FindFirstFileW(reports::FileSystemPath(FDataRoot + L"*.*").c_str(), &entry));
    if (!types) return;
    do {
        if (reports::IsDotEntry(entry.cFileName) || !reports::IsReportTypeDirectory(entry.dwFileAttributes)) continue;
        const std::wstring code = entry.cFileName;
        const std::wstring typeName = ReportTypeNameOf(code);
        const std::wstring typeDir = FDataRoot + code + L"\\";
        WIN32_FIND_DATAW file;
        win::UniqueFindHandle files(::FindFirstFileW(reports::FileSystemPath(typeDir + L"*.*").c_str(), &file));
        if (!files) continue;
        do {
            if (reports::IsDotEntry(file.cFileName) || !reports::IsReportFileEntry(file.dwFileAttributes)) continue;
            if (typeName.empty()) continue;
            auto report = std::make_unique<TReportEntity>();
            report->SetReportTypeName(typeName);
            report->SetReportCode(code);
            report->SetReportFullPath(typeDir + file.cFileName);
            report->SetReportFileName(file.cFileName);
            report->SetLastAccessTime(reports::ReportFileTime(report->ReportFullPath()));
            AddReport(std::move(report));
        } while (::FindNextFileW(files.get(), &file));
    } while (::FindNextFileW(types.get(), &entry));
}

void TReportContainer::AddReport(std::unique_ptr<TReportEntity> AReport) {
    if (!AReport) return;
    auto found = FReportFiles.find(AReport->ReportCode());
    if (found == FReportFiles.end()) {
        AReport->SetTypeReoprtCnt(1);
        std::wstring code = AReport->ReportCode();
        FReportFiles.emplace(std::move(code), std::move(AReport));
        return;
    }
    TReportEntity& current = *found->second;
    if (reports::IsLaterReportTime(AReport->LastAccessTime(), current.LastAccessTime())) {
        AReport->SetTypeReoprtCnt(current.TypeReoprtCnt() + 1);
        found->second = std::move(AReport);
    } else {
        current.SetTypeReoprtCnt(current.TypeReoprtCnt() + 1);
    }
}
