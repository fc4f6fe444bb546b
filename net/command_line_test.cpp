#include "net/command_line.h"

#include <gtest/gtest.h>

using au::SplitCommandLine;

namespace {

std::pair<std::wstring, std::wstring> Split(const std::wstring& command) {
    std::wstring program = command, parameters = L"stale";
    const std::wstring returned = SplitCommandLine(program, parameters);
    EXPECT_EQ(returned, program);
    return {program, parameters};
}

using Parts = std::pair<std::wstring, std::wstring>;

} // namespace

TEST(AuCommandLine, QuotedProgram) {
    EXPECT_EQ(Split(L"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome"),
              Parts(L"C:\\Program Files\\Internet Explorer\\iexplore.exe", L"-nohome"));
    EXPECT_EQ(Split(L"  \"C:\\windows\\system32\\winebrowser.exe\" \"%1\"  "),
              Parts(L"C:\\windows\\system32\\winebrowser.exe", L"%1"));
    EXPECT_EQ(Split(L"\"C:\\a b\\x.exe\""), Parts(L"C:\\a b\\x.exe", L""));
}

TEST(AuCommandLine, QuotedParameter) {
    EXPECT_EQ(Split(L"C:\\tools\\view.exe \"%1\""), Parts(L"C:\\tools\\view.exe", L"%1"));
    EXPECT_EQ(Split(L"rundll32.exe \"C:\\Program Files\\pv.dll\", ImageView %1"),
              Parts(L"rundll32.exe", L"C:\\Program Files\\pv.dll, ImageView %1"));
}

TEST(AuCommandLine, SeparatorsInTheirOrder) {
    EXPECT_EQ(Split(L"C:\\IE\\iexplore.exe -nohome /x"), Parts(L"C:\\IE\\iexplore.exe", L"-nohome /x"));
    EXPECT_EQ(Split(L"C:\\a\\b.exe /dde %1"), Parts(L"C:\\a\\b.exe", L"/dde %1"));
    EXPECT_EQ(Split(L"C:\\a\\b.exe \\\\server\\share"), Parts(L"C:\\a\\b.exe", L"\\\\server\\share"));
    EXPECT_EQ(Split(L"C:\\a\\b.exe first,second"), Parts(L"C:\\a\\b.exe first", L"second"));
    EXPECT_EQ(Split(L"C:\\a\\b.exe %1"), Parts(L"C:\\a\\b.exe", L"%1"));
    EXPECT_EQ(Split(L"C:\\a\\b.exe"), Parts(L"C:\\a\\b.exe", L""));
    EXPECT_EQ(Split(L"   "), Parts(L"", L""));
}

TEST(AuCommandLine, DashOrSlashInsideAPathIsNoSeparator) {
    EXPECT_EQ(Split(L"C:\\Program Files\\my -tool\\x.exe"), Parts(L"C:\\Program Files\\my -tool\\x.exe", L""));
    EXPECT_EQ(Split(L"C:\\Program Files\\a /b\\x.exe %1"), Parts(L"C:\\Program Files\\a /b\\x.exe", L"%1"));
}

TEST(AuCommandLine, RundllKeepsItsDllInTheParameters) {
    EXPECT_EQ(Split(L"rundll32.exe url.dll,FileProtocolHandler %1"),
              Parts(L"rundll32.exe", L"url.dll,FileProtocolHandler %1"));
    EXPECT_EQ(Split(L"C:\\WINDOWS\\system32\\rundll32.exe url.dll,FileProtocolHandler %1"),
              Parts(L"C:\\WINDOWS\\system32\\rundll32.exe", L"url.dll,FileProtocolHandler %1"));
    // A DLL given with its path: its backslashes must not move the cut.
    EXPECT_EQ(Split(L"rundll32.exe C:\\WINDOWS\\system32\\shimgvw.dll,ImageView_Fullscreen %1"),
              Parts(L"rundll32.exe", L"C:\\WINDOWS\\system32\\shimgvw.dll,ImageView_Fullscreen %1"));
}
