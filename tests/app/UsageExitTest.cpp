// The shipped exe without a target: exactly the usage line on standard
// error, nothing on standard output, exit code 1.

#include "ChildProcess.h"
#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A number that was a window's handle and names none now.
std::wstring deadWindowHandle() {
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (window == nullptr) {
        return L"";
    }
    DestroyWindow(window);
    if (IsWindow(window)) {
        return L"";
    }
    return std::to_wstring(reinterpret_cast<std::uintptr_t>(window));
}

struct Outcome {
    std::optional<DWORD> exitCode;
    std::string output;
    std::string error;
};

Outcome runProgram(const std::wstring& arguments) {
    std::wstring line = L"\"" + windowsPath(VINTRA_APP_EXE) + L"\"";
    if (!arguments.empty()) {
        line += L" " + arguments;
    }
    std::optional<ChildProcess> child = ChildProcess::start(line);
    if (!child) {
        ADD_FAILURE() << "the exe did not start";
        return {};
    }
    Outcome outcome;
    outcome.exitCode = child->drainOutputUntilExit(30'000, outcome.output);
    if (outcome.exitCode) {
        outcome.error = child->readAllError();
    }
    return outcome;
}

TEST(UsageExit, NoTargetGivesTheUsageLineAndCodeOne) {
    const std::wstring dead = deadWindowHandle();
    ASSERT_FALSE(dead.empty()) << "could not make a handle that names no window";
    const std::vector<std::wstring> cases = {
        L"",
        L"--window",
        L"--all-except",
        L"--self 1234",
        L"--window " + dead,
        L"--window 0x10 --self 1",
    };
    const std::string usage = usageLine;
    ASSERT_EQ(usage.size(), 76u);
    for (const std::wstring& arguments : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const Outcome outcome = runProgram(arguments);
        ASSERT_TRUE(outcome.exitCode.has_value()) << "still running after 30 s";
        EXPECT_EQ(*outcome.exitCode, 1u);
        EXPECT_EQ(outcome.error, usage);  // byte for byte: no "\r\n"
        EXPECT_EQ(outcome.output.size(), 0u);
    }
}

}  // namespace
