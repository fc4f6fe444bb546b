#include "win/version.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "win/strings.h"

// This test program carries a version block of its own (version_test.rc).
TEST(VersionInfoRead, FixedNumbersAndNamedStrings) {
    const win::VersionInfo v = win::ReadVersionInfo(win::ExePath());
    ASSERT_TRUE(v.hasFixedInfo);
    EXPECT_EQ(v.major, 7);
    EXPECT_EQ(v.minor, 8);
    EXPECT_EQ(v.release, 9);
    EXPECT_EQ(v.build, 65535);
    EXPECT_EQ(v.FixedVersionText(), L"7.8.9.65535");
    EXPECT_EQ(v.fileVersion, L"7.8.9 test");
    EXPECT_EQ(v.productName, L"Version reader test");
    // Present in the block's table but not in this block.
    EXPECT_EQ(v.companyName, win::kValueNotAvailable);
    EXPECT_EQ(v.comments, win::kValueNotAvailable);
}

TEST(VersionInfoRead, FileWithoutABlockReadsNotAvailableEverywhere) {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"quillet_no_version.txt";
    std::ofstream(std::filesystem::path(path)) << "no version block here";
    const win::VersionInfo v = win::ReadVersionInfo(path);
    EXPECT_FALSE(v.hasFixedInfo);
    EXPECT_EQ(v.major, 0);
    EXPECT_EQ(v.fileVersion, win::kValueNotAvailable);
    EXPECT_EQ(v.productName, win::kValueNotAvailable);
    ::DeleteFileW(path.c_str());
    EXPECT_EQ(win::ReadVersionInfo(L"C:\\no\\such\\file.exe").fileVersion, win::kValueNotAvailable);
}
