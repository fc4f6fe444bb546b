#include "selfupgrade_rules.h"

#include <gtest/gtest.h>

using namespace selfupgrade;

namespace {

using Args = std::vector<std::wstring>;

TEST(SelfUpgradeArguments, QuotedPathArrivesWholeWithItsRunsOfBlanks) {
    const Invocation inv = ParseArguments(Args{L"C:\\up grade  dir\\App.exe", L"+/afterupgrade0"});
    EXPECT_EQ(inv.programPath, L"C:\\up grade  dir\\App.exe");
    EXPECT_EQ(inv.restartArgument, L"/afterupgrade0");
    EXPECT_FALSE(inv.externalSetup);
}

TEST(SelfUpgradeArguments, UnquotedPathIsRejoinedWithSingleBlanks) {
    const Invocation inv = ParseArguments(Args{L"C:\\Program", L"Files\\My", L"App\\App.exe", L"+/afterupgrade1"});
    EXPECT_EQ(inv.programPath, L"C:\\Program Files\\My App\\App.exe");
    EXPECT_EQ(inv.restartArgument, L"/afterupgrade1");
    EXPECT_TRUE(inv.externalSetup);
}

TEST(SelfUpgradeArguments, OnlyAnArgumentBeginningWithPlusOpensTheRestartArgument) {
    const Invocation inside = ParseArguments(Args{L"C:\\c++\\q.exe", L"+/restart"});
    EXPECT_EQ(inside.programPath, L"C:\\c++\\q.exe");
    EXPECT_EQ(inside.restartArgument, L"/restart");

    // The first '+' argument wins; a later one is part of the restart text.
    const Invocation twice = ParseArguments(Args{L"C:\\a\\q.exe", L"+first", L"second", L"+third"});
    EXPECT_EQ(twice.programPath, L"C:\\a\\q.exe");
    EXPECT_EQ(twice.restartArgument, L"first second +third");

    const Invocation bare = ParseArguments(Args{L"C:\\a\\q.exe", L"+", L"x"});
    EXPECT_EQ(bare.restartArgument, L" x");

    const Invocation leading = ParseArguments(Args{L"+/afterupgrade0"});
    EXPECT_EQ(leading.programPath, L"");
    EXPECT_EQ(leading.restartArgument, L"/afterupgrade0");
}

TEST(SelfUpgradeArguments, WithoutPlusEverythingIsThePathAndNothingIsHandedOn) {
    const Invocation inv = ParseArguments(Args{L"C:\\my", L"app\\App.exe"});
    EXPECT_EQ(inv.programPath, L"C:\\my app\\App.exe");
    EXPECT_EQ(inv.restartArgument, L"");
    EXPECT_FALSE(inv.externalSetup);
    // A path ending in 1 is no method digit.
    EXPECT_FALSE(ParseArguments(Args{L"C:\\a\\tool1"}).externalSetup);
}

TEST(SelfUpgradeArguments, OnlyTheLastCharacterChoosesTheMethod) {
    EXPECT_TRUE(ParseArguments(Args{L"C:\\a.exe", L"+/afterupgrade1"}).externalSetup);
    EXPECT_FALSE(ParseArguments(Args{L"C:\\a.exe", L"+/afterupgrade0"}).externalSetup);
    EXPECT_FALSE(ParseArguments(Args{L"C:\\a.exe", L"+/afterupgrade10"}).externalSetup);
    EXPECT_TRUE(ParseArguments(Args{L"C:\\a.exe", L"+/x", L"page", L"1"}).externalSetup);
    EXPECT_TRUE(ParseArguments(Args{L"C:\\a.exe", L"+1"}).externalSetup);
    EXPECT_FALSE(ParseArguments(Args{L"C:\\a.exe", L"+"}).externalSetup);
}

TEST(SelfUpgradePaths, DirectoryKeepsItsBackslashAndNameIsWhatFollows) {
    EXPECT_EQ(DirectoryOf(L"C:\\up grade\\App.exe"), L"C:\\up grade\\");
    EXPECT_EQ(FileNameOf(L"C:\\up grade\\App.exe"), L"App.exe");
    EXPECT_EQ(DirectoryOf(L"App.exe"), L"");
    EXPECT_EQ(FileNameOf(L"App.exe"), L"App.exe");
    EXPECT_EQ(DirectoryOf(L"C:\\dir\\"), L"C:\\dir\\");
    EXPECT_EQ(FileNameOf(L"C:\\dir\\"), L"");
    // Windows takes either slash, and a drive alone: the downloads are
    // looked for where the program really is.
    EXPECT_EQ(DirectoryOf(L"C:\\d/sub/App.exe"), L"C:\\d/sub/");
    EXPECT_EQ(FileNameOf(L"C:\\d/sub/App.exe"), L"App.exe");
    EXPECT_EQ(DirectoryOf(L"C:App.exe"), L"C:");
    EXPECT_EQ(FileNameOf(L"C:App.exe"), L"App.exe");
    EXPECT_EQ(StartCommandLine(L"C:\\up  grade\\App.exe", L"/afterupgrade0"),
              L"\"C:\\up  grade\\App.exe\" /afterupgrade0");
    EXPECT_EQ(StartCommandLine(L"C:\\a\\App.exe", L""), L"\"C:\\a\\App.exe\"");
}

PlanInput Input(bool externalSetup, bool programDownloadExists, Args downloads) {
    PlanInput in;
    in.directory = L"C:\\d\\";
    in.programPath = L"C:\\d\\app.exe";  // the caller's spelling
    in.programName = L"App.exe";         // the directory's
    in.programDownloadExists = programDownloadExists;
    in.externalSetup = externalSetup;
    in.downloads = std::move(downloads);
    return in;
}

std::vector<std::wstring> Targets(const Plan& plan) {
    std::vector<std::wstring> to;
    for (const Move& m : plan.moves) to.push_back(m.to);
    return to;
}

TEST(SelfUpgradePlan, EveryDownloadReplacesItsNamesakeInDirectoryOrder) {
    const Plan plan = MakePlan(Input(false, true, {L"data.dat.uTMP", L"App.exe.uTMP", L"helper.exe.uTMP"}));
    ASSERT_EQ(plan.moves.size(), 3u);
    EXPECT_EQ(plan.moves[0].from, L"C:\\d\\data.dat.uTMP");
    EXPECT_EQ(Targets(plan), (Args{L"C:\\d\\data.dat", L"C:\\d\\App.exe", L"C:\\d\\helper.exe"}));
    for (const Move& m : plan.moves) EXPECT_FALSE(m.setupProgram);
    EXPECT_EQ(plan.start, L"C:\\d\\app.exe");
    EXPECT_EQ(plan.startAfterSetup, L"");
}

TEST(SelfUpgradePlan, FirstDownloadedProgramStandsInForAMissingOwnDownload) {
    const Plan plan =
        MakePlan(Input(false, false, {L"readme.txt.uTMP", L"new.exe.uTMP", L"other.exe.uTMP", L"x.dll.uTMP"}));
    // It takes the name as stored on disk; later programs keep their names.
    EXPECT_EQ(Targets(plan),
              (Args{L"C:\\d\\readme.txt", L"C:\\d\\App.exe", L"C:\\d\\other.exe", L"C:\\d\\x.dll"}));
    EXPECT_EQ(plan.moves[1].from, L"C:\\d\\new.exe.uTMP");
    EXPECT_EQ(plan.start, L"C:\\d\\app.exe");
    EXPECT_EQ(plan.startAfterSetup, L"");
}

TEST(SelfUpgradePlan, OnlyALowerCaseExeEndingStandsIn) {
    const Plan plan = MakePlan(Input(false, false, {L"TOOL.EXE.uTMP", L"Tool.Exe.uTMP", L"notexe.uTMP"}));
    // "notexe" ends in "exe" just the same: the ending is all that is looked at.
    EXPECT_EQ(Targets(plan), (Args{L"C:\\d\\TOOL.EXE", L"C:\\d\\Tool.Exe", L"C:\\d\\App.exe"}));
}

TEST(SelfUpgradePlan, OwnDownloadPresentMeansNoStandIn) {
    const Plan plan = MakePlan(Input(false, true, {L"new.exe.uTMP", L"App.exe.uTMP"}));
    EXPECT_EQ(Targets(plan), (Args{L"C:\\d\\new.exe", L"C:\\d\\App.exe"}));
}

TEST(SelfUpgradePlan, ExternalSetupRunsTheDownloadedProgramFirstThenTheMainProgram) {
    const Plan plan = MakePlan(Input(true, false, {L"data.dat.uTMP", L"setup.exe.uTMP", L"more.exe.uTMP"}));
    ASSERT_EQ(plan.moves.size(), 3u);
    EXPECT_EQ(Targets(plan), (Args{L"C:\\d\\data.dat", L"C:\\d\\setup.exe", L"C:\\d\\more.exe"}));
    EXPECT_FALSE(plan.moves[0].setupProgram);
    EXPECT_TRUE(plan.moves[1].setupProgram);
    EXPECT_FALSE(plan.moves[2].setupProgram);
    EXPECT_EQ(plan.start, L"C:\\d\\setup.exe");
    EXPECT_EQ(plan.startAfterSetup, L"C:\\d\\app.exe");
}

TEST(SelfUpgradePlan, ExternalSetupWithoutASetupProgramIsAPlainRestart) {
    // With its own download there, the program is replaced and never deleted
    // as if it were a setup program that has done its work.
    const Plan own = MakePlan(Input(true, true, {L"App.exe.uTMP", L"setup.exe.uTMP"}));
    EXPECT_EQ(Targets(own), (Args{L"C:\\d\\App.exe", L"C:\\d\\setup.exe"}));
    for (const Move& m : own.moves) EXPECT_FALSE(m.setupProgram);
    EXPECT_EQ(own.start, L"C:\\d\\app.exe");
    EXPECT_EQ(own.startAfterSetup, L"");

    const Plan none = MakePlan(Input(true, false, {L"data.dat.uTMP"}));
    EXPECT_EQ(none.start, L"C:\\d\\app.exe");
    EXPECT_EQ(none.startAfterSetup, L"");
}

TEST(SelfUpgradePlan, NothingDownloadedStillRestarts) {
    const Plan plan = MakePlan(Input(false, false, {}));
    EXPECT_TRUE(plan.moves.empty());
    EXPECT_EQ(plan.start, L"C:\\d\\app.exe");
}

TEST(SelfUpgradePlan, NamesThatNameNoFileAreLeftAlone) {
    const Plan plan = MakePlan(Input(false, true, {L".uTMP", L"a.dat.UTMP", L"b.dat.tmp"}));
    EXPECT_EQ(Targets(plan), (Args{L"C:\\d\\a.dat"}));
}

TEST(SelfUpgradePlan, OnlyPlainNamesOfTheDirectoryAreMovedAndOnlyToPlainNames) {
    // "..uTMP" would replace the directory itself, "...uTMP" its parent,
    // "x..uTMP" the file "x" (Windows drops the dot); a separator or a
    // colon names another directory or a stream.
    const Plan plan = MakePlan(Input(false, true,
                                     {L"..uTMP", L"...uTMP", L". .uTMP", L"x..uTMP", L"y .uTMP", L"..\\up.exe.uTMP",
                                      L"sub/a.dll.uTMP", L"a:b.uTMP", L"ok.dat.uTMP"}));
    EXPECT_EQ(Targets(plan), (Args{L"C:\\d\\ok.dat"}));
    EXPECT_EQ(plan.moves[0].from, L"C:\\d\\ok.dat.uTMP");
}

TEST(SelfUpgradePlan, AStandInTakesOnlyAPlainStoredName) {
    PlanInput in = Input(false, false, {L"x.exe..uTMP", L"new.exe.uTMP"});
    EXPECT_EQ(Targets(MakePlan(in)), (Args{L"C:\\d\\App.exe"})) << "a name left alone is no stand-in";
    in.programName = L"..\\App.exe";
    EXPECT_EQ(Targets(MakePlan(in)), (Args{L"C:\\d\\new.exe"}));
}

TEST(SelfUpgradePlan, AProgramPathWithForwardSlashesWorksInItsOwnDirectory) {
    PlanInput in;
    in.programPath = L"C:\\d/sub/app.exe";
    in.directory = DirectoryOf(in.programPath);
    in.programName = FileNameOf(in.programPath);
    in.downloads = {L"new.exe.uTMP"};
    const Plan plan = MakePlan(in);
    ASSERT_EQ(plan.moves.size(), 1u);
    EXPECT_EQ(plan.moves[0].from, L"C:\\d/sub/new.exe.uTMP");
    EXPECT_EQ(plan.moves[0].to, L"C:\\d/sub/app.exe");
}

TEST(SelfUpgradePlan, WithoutAProgramNothingIsMovedOrStarted) {
    PlanInput in = Input(false, false, {L"new.exe.uTMP"});
    in.programPath.clear();
    in.programName.clear();
    in.directory.clear();
    const Plan plan = MakePlan(in);
    EXPECT_TRUE(plan.moves.empty());
    EXPECT_EQ(plan.start, L"");
}

TEST(SelfUpgradePlan, ProgramPathEndingInABackslashGivesNoStandInName) {
    PlanInput in = Input(false, false, {L"new.exe.uTMP"});
    in.programPath = L"C:\\d\\";
    in.programName = L"";
    EXPECT_EQ(Targets(MakePlan(in)), (Args{L"C:\\d\\new.exe"}));
}

} // namespace
