#include "net/shell_helpers.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "net/form_data.h"
#include "win/handles.h"
#include "win/strings.h"

using namespace au;

namespace {

// Per-user classes, which the classes view shows over the machine's.
const wchar_t kClasses[] = L"Software\\Classes\\";

void Set(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, (kClasses + path).c_str(), name, REG_SZ, value.c_str(),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

class AuClasses : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        for (const wchar_t* key : {L".quilltest", L"Quillet.Doc", L"Quillet.Reopen", L"Quillet.NoOpen"})
            ::RegDeleteTreeW(HKEY_CURRENT_USER, (kClasses + std::wstring(key)).c_str());
    }
};

} // namespace

TEST_F(AuClasses, MimeTypeOfTheLowerCasedDottedExtension) {
    Set(L".quilltest", L"Content Type", L"text/x-quillet");
    EXPECT_EQ(GetMIMEType(L"QUILLTEST"), L"text/x-quillet");
    EXPECT_EQ(GetMIMEType(L".quilltest"), L"text/x-quillet");
    for (const wchar_t* none : {L"quillnone", L"", L".quilltest\\sub"})
        EXPECT_EQ(GetMIMEType(none), L"application/octet-stream") << none;
    const std::string body = MultipartFormBody(L"B", {{L"f", L"C:\\up\\a.quilltest", "x"}});
    EXPECT_NE(body.find("filename=\"C:\\up\\a.quilltest\"\r\nContent-Type: text/x-quillet\r\n\r\nx\r\n"),
              std::string::npos)
        << body;
    Set(L".quilltest", L"Content Type", std::wstring(200, L'x'));
    EXPECT_EQ(GetMIMEType(L"quilltest"), L"application/octet-stream");
}

TEST_F(AuClasses, AssociatedProgramOfTheOpenCommand) {
    Set(L".quilltest", nullptr, L"Quillet.Doc");
    Set(L"Quillet.Doc\\shell\\open\\command", nullptr, L"\"C:\\Tools\\view er.exe\" \"%1\"");
    EXPECT_EQ(GetAssociatedProgram(L".quilltest"), L"C:\\Tools\\view er.exe");
    for (const wchar_t* none : {L".quillnone", L".", L""}) EXPECT_EQ(GetAssociatedProgram(none), L"") << none;
    Set(L".quilltest", nullptr, L"Quillet.Missing");
    EXPECT_EQ(GetAssociatedProgram(L".quilltest"), L"");
}

TEST_F(AuClasses, AssociatedProgramOfAnOpenVerbElseAnyCommand) {
    Set(L".quilltest", nullptr, L"Quillet.Reopen");
    Set(L"Quillet.Reopen\\shell\\aaa\\command", nullptr, L"C:\\a.exe %1");
    Set(L"Quillet.Reopen\\shell\\Reopen\\command", nullptr, L"C:\\reopen.exe %1");
    EXPECT_EQ(GetAssociatedProgram(L".quilltest"), L"C:\\reopen.exe");
    Set(L".quilltest", nullptr, L"Quillet.NoOpen");
    Set(L"Quillet.NoOpen\\shell\\edit\\command", nullptr, L"");
    Set(L"Quillet.NoOpen\\shell\\print\\command", nullptr, L"C:\\print.exe /p %1");
    EXPECT_EQ(GetAssociatedProgram(L".quilltest"), L"C:\\print.exe");
}

TEST(AuTempDirectory, TheTemporaryDirectoryOrTheProgramsOwn) {
    wchar_t saved[MAX_PATH] = {};
    const bool hadTmp = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH) > 0;
    const std::wstring dir = win::ExeDir() + L"au_temp_test";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    ::SetEnvironmentVariableW(L"TMP", dir.c_str());
    EXPECT_EQ(GetTempDirectory(), dir + L"\\");
    ::SetEnvironmentVariableW(L"TMP", (dir + L"\\missing").c_str());
    EXPECT_EQ(GetTempDirectory(), win::ExeDir());
    EXPECT_FALSE(IsDirectory(win::ExePath()));
    ::SetEnvironmentVariableW(L"TMP", hadTmp ? saved : nullptr);
    ::RemoveDirectoryW(dir.c_str());
}

TEST(AuOnline, RemoteConnectionFlagElseALocalAddress) {
    const wchar_t kKey[] = L"System\\CurrentControlSet\\Services\\RemoteAccess";
    win::UniqueHKey key;
    DWORD created = 0;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), &created))
        GTEST_SKIP() << "machine keys are not writable here";
    if (::RegQueryValueExW(key.get(), L"Remote Connection", nullptr, nullptr, nullptr, nullptr) != ERROR_FILE_NOT_FOUND)
        GTEST_SKIP() << "this machine records its own flag";
    auto set = [&](DWORD type, DWORD value) {
        ::RegSetValueExW(key.get(), L"Remote Connection", 0, type, reinterpret_cast<const BYTE*>(&value), 4);
    };
    set(REG_DWORD, 1);
    EXPECT_TRUE(IsOnline());
    set(REG_DWORD, 0);
    EXPECT_FALSE(IsOnline());
    set(REG_BINARY, 1);
    EXPECT_TRUE(IsOnline());
    ::RegDeleteValueW(key.get(), L"Remote Connection");
    EXPECT_EQ(IsOnline(), HasNetworkAddress());
    key.reset();
    if (created == REG_CREATED_NEW_KEY) ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
}

TEST(AuBoundary, MadeFromTheClockInOneLine) {
    const std::wstring boundary = MakeBoundary(L'0');
    ASSERT_GT(boundary.size(), 27u);
    EXPECT_EQ(boundary.substr(0, 24), L"---HTTP-DATA-BOUNDARY-0-");
    EXPECT_EQ(boundary.substr(boundary.size() - 3), L"---");
    EXPECT_EQ(boundary.substr(24, boundary.size() - 27).size() % 4, 0u);
    EXPECT_EQ(boundary.find_first_of(L"\r\n"), std::wstring::npos);
}
