// The report catalogue: the saved report files under the data root, grouped
// by report type (one subdirectory per type), keeping per type the most
// recently modified file and the number of files.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

class TReportEntity {
public:
    const std::wstring& ReportTypeName() const { return FReportTypeName; }
    void SetReportTypeName(std::wstring value) { FReportTypeName = std::move(value); }
    // The file's last-write time (not its last access), local, in two-second steps.
    double LastAccessTime() const { return FLastAccessTime; }
    void SetLastAccessTime(double value) { FLastAccessTime = value; }
    const std::wstring& ReportCode() const { return FReportCode; }
    void SetReportCode(std::wstring value) { FReportCode = std::move(value); }
    const std::wstring& ReportFullPath() const { return FReportFullPath; }
    void SetReportFullPath(std::wstring value) { FReportFullPath = std::move(value); }
    const std::wstring& ReportFileName() const { return FReportFileName; }
    void SetReportFileName(std::wstring value) { FReportFileName = std::move(value); }
    std::int32_t TypeReoprtCnt() const { return FTypeReoprtCnt; }
    void SetTypeReoprtCnt(std::int32_t value) { FTypeReoprtCnt = value; }

private:
    std::wstring FReportTypeName;
    double FLastAccessTime = 0.0;
    std::wstring FReportCode;
    std::wstring FReportFullPath;
    std::wstring FReportFileName;
    std::int32_t FTypeReoprtCnt = 0;
};

class TReportContainer {
public:
    // Keyed by report code, compared exactly. Rows are shown in this map's own
    // iteration order; nothing sorts them.
    using ReportMap = std::unordered_map<std::wstring, std::unique_ptr<TReportEntity>>;

    static const wchar_t kDataRoot[];

    // The program's data root and "config.ini" beside the executable.
    TReportContainer();
    // `dataRoot` ends in a backslash; `configPath` names the settings file.
    TReportContainer(std::wstring dataRoot, std::wstring configPath);

    // Scans the data root once and fills the map. File-system conditions end
    // the affected listing quietly; nothing is raised for them.
    void InitReportDir();
    // Merges one file into its report type's entry; always takes ownership.
    void AddReport(std::unique_ptr<TReportEntity> AReport);
    const ReportMap& ReportFiles() const { return FReportFiles; }

    const std::wstring& DataRoot() const { return FDataRoot; }
    const std::wstring& ConfigPath() const { return FConfigPath; }
    // Display name of a report code from section "reportType"; empty when none.
    std::wstring ReportTypeNameOf(const std::wstring& reportCode) const;

private:
    ReportMap FReportFiles;
    std::wstring FDataRoot;
    std::wstring FConfigPath;
    // Settings saved as UTF-8, which the profile functions would read in the
    // ANSI code page, are held decoded and looked up here instead.
    bool FConfigUtf8 = false;
    std::wstring FConfigText;
};

// The catalogue the report window fills while it scans; empty otherwise.
extern std::unique_ptr<TReportContainer> ReportContainer;
// Releases that catalogue, if one is still held, and clears the reference.
void ReleaseReportCatalogue();

namespace reports {
// Last-write time of `path` as a local date-time in two-second steps; 0 when
// the file cannot be found or its time has no MS-DOS form.
double ReportFileTime(const std::wstring& path);
// The form of `path` that the file-system calls take: drive-absolute paths
// get the "\\?\" prefix so that long names and names ending in a dot or blank
// reach exactly the entry that was listed.
std::wstring FileSystemPath(const std::wstring& path);
} // namespace reports
