// Times one report catalogue scan of 50 report types with 20,000 files in all
// against a bare FindFirstFile/FindNextFile walk of the same tree, in the same
// run, and shows how much of the difference the per-file time query costs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "reports/report_tree.h"
#include "reports/uReportEntity.h"
#include "win/handles.h"

using namespace reports::testing;

namespace {

constexpr int kFiles = 20000;
constexpr int kRounds = 5;

double Seconds() {
    static LARGE_INTEGER freq = [] { LARGE_INTEGER f; ::QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(freq.QuadPart);
}

// Lists the root and every subdirectory once; returns the entries seen.
long Walk(const std::wstring& root, bool queryTimes) {
    long entries = 0;
    WIN32_FIND_DATAW top;
    win::UniqueFindHandle types(::FindFirstFileW((root + L"*.*").c_str(), &top));
    if (!types) return 0;
    do {
        std::wstring name = top.cFileName;
        if (name == L"." || name == L".." || !(top.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        WIN32_FIND_DATAW file;
        win::UniqueFindHandle files(::FindFirstFileW((root + name + L"\\*.*").c_str(), &file));
        if (!files) continue;
        do {
            if (file.cFileName[0] == L'.' && (file.cFileName[1] == 0 || (file.cFileName[1] == L'.' && !file.cFileName[2])))
                continue;
            ++entries;
            if (queryTimes) reports::ReportFileTime(root + name + L"\\" + file.cFileName);
        } while (::FindNextFileW(files.get(), &file));
    } while (::FindNextFileW(types.get(), &top));
    return entries;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    // An optional argument spreads the same files over another number of
    // types, to see whether the time query depends on the directory's size.
    const int kTypes = argc > 1 ? std::max(1, std::min(kFiles, std::atoi(argv[1]))) : 50;
    TempTree tree(L"reports-bench");
    const std::wstring root = tree.Dir(L"VORTAN_NSSB") + L"\\";
    std::wstring ini = L"[reportType]\r\n";
    const double build0 = Seconds();
    for (int t = 0; t < kTypes; ++t) {
        wchar_t code[16];
        std::swprintf(code, 16, L"T%02d", t);
        ini += std::wstring(code) + L"=报表类型" + std::to_wstring(t) + L"\r\n";
        tree.Dir(std::wstring(L"VORTAN_NSSB\\") + code);
        for (int f = 0; f < kFiles / kTypes + (t < kFiles % kTypes ? 1 : 0); ++f) {
            tree.File(std::wstring(L"VORTAN_NSSB\\") + code + L"\\report-" + std::to_wstring(f) + L".dat",
                      Local(2020 + f % 5, 1 + f % 12, 1 + f % 28, f % 24, f % 60, f % 60));
        }
    }
    WriteIni(tree.Path(L"config.ini"), ini, IniEncoding::Ansi);
    std::printf("tree: %d report types, %d files, built in %.1f s\n", kTypes, kFiles, Seconds() - build0);

    Walk(root, false);  // same cache state for everything that follows
    std::vector<double> walk, walkTimes, scan;
    long walked = 0, catalogued = 0;
    for (int round = 0; round < kRounds; ++round) {
        double t0 = Seconds();
        walked = Walk(root, false);
        walk.push_back(Seconds() - t0);

        t0 = Seconds();
        Walk(root, true);
        walkTimes.push_back(Seconds() - t0);

        t0 = Seconds();
        TReportContainer catalogue(root, tree.Path(L"config.ini"));
        catalogue.InitReportDir();
        scan.push_back(Seconds() - t0);
        catalogued = 0;
        for (const auto& entry : catalogue.ReportFiles()) catalogued += entry.second->TypeReoprtCnt();
    }
    const double w = Median(walk), wt = Median(walkTimes), s = Median(scan);
    std::printf("bare walk:               %8.1f ms  (%ld entries)\n", w * 1000, walked);
    std::printf("walk + per-file time:    %8.1f ms\n", wt * 1000);
    std::printf("catalogue scan:          %8.1f ms  (%ld files catalogued)\n", s * 1000, catalogued);
    std::printf("ratio scan / walk:       %8.2f\n", s / w);
    // The difference of two medians: at or below zero it is noise, not a cost.
    if (wt > w)
        std::printf("per-file time query:     %8.1f us per file, %.0f%% of the scan\n", (wt - w) / walked * 1e6,
                    100.0 * (wt - w) / s);
    else
        std::printf("per-file time query:     below noise\n");
    std::printf("(median of %d rounds each)\n", kRounds);
    return walked == kFiles && catalogued == kFiles ? 0 : 1;
}
