#include "win/ini.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

namespace {

class IniTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t tmp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, tmp);
        path_ = std::wstring(tmp) + L"quillet_ini_" + std::to_wstring(::GetCurrentProcessId()) + L".ini";
    }
    void TearDown() override { ::DeleteFileW(path_.c_str()); }
    void Write(const std::string& text) { std::ofstream(std::filesystem::path(path_), std::ios::binary) << text; }
    std::wstring path_;
};

TEST_F(IniTest, ValueLongerThanTheFirstBufferIsReadWhole) {
    const std::string longer(5000, 'v');
    const std::string exact(255, 'e');  // fills the first buffer to its last character
    Write("[s]\r\nlong=" + longer + "\r\nexact=" + exact + "\r\nshort=abc\r\n");
    EXPECT_EQ(win::ReadIniString(path_, L"s", L"long", L""), std::wstring(longer.begin(), longer.end()));
    EXPECT_EQ(win::ReadIniString(path_, L"s", L"exact", L""), std::wstring(exact.begin(), exact.end()));
    EXPECT_EQ(win::ReadIniString(path_, L"s", L"short", L""), L"abc");
}

TEST_F(IniTest, MissingKeySectionOrFileGivesTheFallback) {
    Write("[s]\r\nkey=value\r\n");
    EXPECT_EQ(win::ReadIniString(path_, L"s", L"other", L"fallback"), L"fallback");
    EXPECT_EQ(win::ReadIniString(path_, L"t", L"key", L"fallback"), L"fallback");
    EXPECT_EQ(win::ReadIniString(path_, L"s", L"other", L""), L"");
    EXPECT_EQ(win::ReadIniString(path_ + L".none", L"s", L"key", L"logs"), L"logs");
    // Names match without regard to case; an empty value is a value.
    Write("[S]\r\nKEY=value\r\nempty=\r\n");
    EXPECT_EQ(win::ReadIniString(path_, L"s", L"key", L"fallback"), L"value");
    EXPECT_EQ(win::ReadIniString(path_, L"s", L"empty", L"fallback"), L"");
}

TEST_F(IniTest, LongFallbackIsAnsweredWhole) {
    const std::wstring fallback(1000, L'f');
    EXPECT_EQ(win::ReadIniString(path_, L"s", L"missing", fallback.c_str()), fallback);
}

} // namespace
