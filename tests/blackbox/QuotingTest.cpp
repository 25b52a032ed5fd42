// Arguments handed to the exe and to players must reach them unchanged,
// nested player options included: each quoted text is parsed back the way a
// Windows child parses its command line.

#include "harness/ProgramUnderTest.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> parseBack(const std::wstring& commandLine) {
    int count = 0;
    LPWSTR* parsed = CommandLineToArgvW((L"prog.exe " + commandLine).c_str(), &count);
    std::vector<std::wstring> arguments(parsed + 1, parsed + count);
    LocalFree(parsed);
    return arguments;
}

TEST(Quoting, ArgumentsSurviveTheChildsParsing) {
    const std::vector<std::wstring> cases = {
        L"plain", L"", L"two words", L"tab\there", L"say \"hi\"", L"C:\\dir\\", L"C:\\dir with space\\",
        L"a\\\"b", L"a\\\\\"b", L"--child \"--freq 660 --child \\\"--freq 880\\\"\"",
    };
    for (const auto& argument : cases) {
        const auto back = parseBack(blackbox::quoteArgument(argument));
        ASSERT_EQ(back.size(), 1u) << "for [" << std::string(argument.begin(), argument.end()) << "]";
        EXPECT_EQ(back[0], argument);
    }
}

TEST(Quoting, ThreeLevelsOfNestingRoundTrip) {
    std::wstring innermost = L"--freq 880 --level 0.1";
    std::wstring middle = L"--freq 660 --child " + blackbox::quoteArgument(innermost);
    std::wstring outer = L"--freq 440 --child " + blackbox::quoteArgument(middle);
    const auto level1 = parseBack(outer);
    ASSERT_EQ(level1.back(), middle);
    const auto level2 = parseBack(level1.back());
    ASSERT_EQ(level2.back(), innermost);
}

}  // namespace
