// The contract between the upgrade engine and Virorova3.exe: what one side
// builds, the other reads back the same.
#include "selfupgrade_protocol.h"

#include <gtest/gtest.h>

#include "selfupgrade_rules.h"

#ifdef _WIN32
#include "win/process.h"
#endif

namespace selfupgrade {
namespace {

TEST(SelfUpgradeProtocol, RestartArgumentCarriesTheMethodDigit) {
    EXPECT_EQ(RestartArgument(L"/afterupgrade", ApplyMethod::kSelfUpgrade), L"+/afterupgrade0");
    EXPECT_EQ(RestartArgument(L"/afterupgrade", ApplyMethod::kExternalSetup), L"+/afterupgrade1");
    EXPECT_EQ(MethodOf(L"/afterupgrade1"), ApplyMethod::kExternalSetup);
    for (const wchar_t* other : {L"/afterupgrade0", L"/afterupgrade", L"", L"1/x"})
        EXPECT_EQ(MethodOf(other), ApplyMethod::kSelfUpgrade) << other;
}

TEST(SelfUpgradeProtocol, RestartedProgramRecognisesItsArgumentWithOrWithoutTheDigit) {
    for (const wchar_t* yes : {L"/afterupgrade", L"/afterupgrade0", L"/afterupgrade1"})
        EXPECT_TRUE(IsRestartArgument(yes, L"/afterupgrade")) << yes;
    for (const wchar_t* no : {L"", L"/afterupgrade2", L"/afterupgrade00", L"/AfterUpgrade", L"/afterupgradeX",
                              L"/afterupgrad"})
        EXPECT_FALSE(IsRestartArgument(no, L"/afterupgrade")) << no;
}

TEST(SelfUpgradeProtocol, CommandLineQuotesBothPaths) {
    EXPECT_EQ(CommandLine(L"C:\\Temp\\Virorova3.exe", L"C:\\Program Files\\Q+Q\\quillet.exe", L"+/afterupgrade0"),
              L"\"C:\\Temp\\Virorova3.exe\" \"C:\\Program Files\\Q+Q\\quillet.exe\" +/afterupgrade0");
}

TEST(SelfUpgradeProtocol, DownloadNamesAndTheFilesTheyReplace) {
    for (const wchar_t* yes : {L"a.exe.uTMP", L"a.dat.UTMP", L"x.utmp", L"..uTMP"})
        EXPECT_TRUE(IsDownloadName(yes)) << yes;
    for (const wchar_t* no : {L".uTMP", L"uTMP", L"a.tmp", L"a.uTMP.bak", L""}) EXPECT_FALSE(IsDownloadName(no)) << no;
    EXPECT_EQ(ReplacedName(L"quillet.exe.uTMP"), L"quillet.exe");
    EXPECT_EQ(ReplacedName(L"C:\\d\\Data.DAT.UTMP"), L"C:\\d\\Data.DAT");
    EXPECT_EQ(ReplacedName(L"quillet.exe"), L"quillet.exe");
    EXPECT_EQ(std::wstring(L"quillet.exe") + kDownloadSuffix, L"quillet.exe.uTMP");
}

#ifdef _WIN32
// Split as the self-upgrade program's command line is split, then read as it
// reads it: every path and method the engine can send comes back whole.
Invocation AsTheSelfUpgradeProgramReadsIt(const std::wstring& commandLine) {
    std::vector<std::wstring> args = win::CommandLineArguments(commandLine);
    if (!args.empty()) args.erase(args.begin());
    return ParseArguments(args);
}

TEST(SelfUpgradeProtocol, WhatTheEngineSendsTheSelfUpgradeProgramReadsBack) {
    for (const wchar_t* program : {L"C:\\quillet.exe", L"C:\\Program Files\\Quillet\\quillet.exe",
                                   L"C:\\a +b\\c  d\\quillet.exe", L"D:\\税务\\申报 工具\\quillet.exe"}) {
        for (ApplyMethod method : {ApplyMethod::kSelfUpgrade, ApplyMethod::kExternalSetup}) {
            const std::wstring argument = RestartArgument(L"/afterupgrade", method);
            const Invocation got =
                AsTheSelfUpgradeProgramReadsIt(CommandLine(L"C:\\Temp dir\\Virorova3.exe", program, argument));
            EXPECT_EQ(got.programPath, program);
            EXPECT_EQ(got.restartArgument, argument.substr(1));
            EXPECT_EQ(got.externalSetup, method == ApplyMethod::kExternalSetup);
            EXPECT_TRUE(IsRestartArgument(got.restartArgument, L"/afterupgrade"));
        }
    }
}
#endif

} // namespace
} // namespace selfupgrade
