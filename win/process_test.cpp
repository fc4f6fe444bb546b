#include "win/process.h"

#include <gtest/gtest.h>

#include <chrono>

#include "win/error.h"
#include "win/strings.h"

using namespace std::chrono_literals;

namespace {

std::wstring Helper(const std::wstring& args) { return L"\"" + win::ExeDir() + L"child_helper.exe\" " + args; }

TEST(RunHidden, AnswersTheExitCodeOfAChildThatEnds) {
    const win::HiddenRunResult r = win::RunHidden(Helper(L"exit 7"), 60s);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 7u);
}

TEST(RunHidden, ChattyChildWithoutALimitRunsToItsEnd) {
    const auto start = std::chrono::steady_clock::now();
    const win::HiddenRunResult r = win::RunHidden(Helper(L"chatty 4000000"));
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u) << "a failed write to its output ends the helper with 3";
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

TEST(RunHidden, InputIsAtEndOfFile) {
    const win::HiddenRunResult r = win::RunHidden(Helper(L"drain"), 60s);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u);
}

TEST(RunHidden, ChildStillRunningAtTheLimitIsEnded) {
    const auto start = std::chrono::steady_clock::now();
    const win::HiddenRunResult r = win::RunHidden(Helper(L"hang"), 1500ms);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(r.finished);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_GE(took, 1400ms);
    EXPECT_LT(took, 15s);
}

TEST(RunHidden, MissingProgramRaisesWithTheCode) {
    try {
        win::RunHidden(L"no_such_program_q2.exe", 10s);
        FAIL() << "no error raised";
    } catch (const win::Error& e) {
        EXPECT_EQ(e.Code(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(e.Message(), win::SystemMessage(ERROR_FILE_NOT_FOUND));
    }
}

TEST(StartProcess, OwnsTheHandlesAndLetsTheProcessRunOn) {
    win::Process p = win::StartProcess(Helper(L"hang"));
    ASSERT_TRUE(p);
    EXPECT_NE(p.Id(), 0u);
    EXPECT_FALSE(p.TryWait(100ms));
    EXPECT_EQ(p.TryExitCode(), std::optional<DWORD>(STILL_ACTIVE));
    p.TryTerminate(42, 5s);
    EXPECT_TRUE(p.TryWait(0ms));
    EXPECT_EQ(p.TryExitCode(), std::optional<DWORD>(42));
    // Ending what has already ended changes nothing.
    p.TryTerminate(43, 1s);
    EXPECT_EQ(p.TryExitCode(), std::optional<DWORD>(42));
}

TEST(StartProcess, NamedApplicationAndDirectory) {
    const std::wstring exe = win::ExeDir() + L"child_helper.exe";
    win::StartOptions options;
    options.application = exe;
    options.directory = win::ExeDir();
    win::Process p = win::StartProcess(L"child_helper exit 5", options);
    ASSERT_TRUE(p.TryWait(60s));
    EXPECT_EQ(p.TryExitCode(), std::optional<DWORD>(5));
}

TEST(StartProcess, FailureRaisesWithTheCodeAndAnEmptyProcessAnswersQuietly) {
    win::StartOptions options;
    options.directory = win::ExeDir() + L"no_such_directory_q2";
    try {
        win::StartProcess(Helper(L"exit 0"), options);
        FAIL() << "no error raised";
    } catch (const win::Error& e) {
        EXPECT_NE(e.Code(), 0u);
    }
    const win::Process none;
    EXPECT_FALSE(none);
    EXPECT_FALSE(none.TryWait(0ms));
    EXPECT_EQ(none.TryExitCode(), std::nullopt);
    none.TryTerminate(1, 0ms);
}

} // namespace
