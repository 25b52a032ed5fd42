// The command-line rules and the two value conversions, on a recording
// stand-in for the window-owner lookup.

#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct LookupRecord {
    std::vector<std::uint64_t> handles;
};

// Window h (1 to 99) is owned by process h + 1000; 0 and larger handles
// name no window.
WindowOwnerLookup recordingLookup(LookupRecord& record) {
    return [&record](std::uint64_t handle, std::uint32_t& processId) {
        record.handles.push_back(handle);
        if (handle > 0 && handle < 100) {
            processId = static_cast<std::uint32_t>(handle + 1000);
        }
    };
}

SelectionValues parse(std::vector<std::wstring> args, LookupRecord& record) {
    args.insert(args.begin(), L"vintra-app-audio.exe");
    std::vector<const wchar_t*> argv;
    for (const auto& a : args) {
        argv.push_back(a.c_str());
    }
    argv.push_back(nullptr);
    return parseCommandLine(static_cast<int>(args.size()), argv.data(), recordingLookup(record));
}

struct ParseCase {
    const char* name;
    std::vector<std::wstring> args;
    bool allExcept;
    std::uint32_t selfPid;
    std::uint32_t targetPid;
    std::vector<std::uint64_t> lookedUp;  // handles given to the lookup, in order
};

class ParseRules : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseRules, GivesTheSelectionValues) {
    const ParseCase& c = GetParam();
    LookupRecord record;
    const SelectionValues v = parse(c.args, record);
    EXPECT_EQ(v.allExcept, c.allExcept);
    EXPECT_EQ(v.selfPid, c.selfPid);
    EXPECT_EQ(v.targetPid, c.targetPid);
    EXPECT_EQ(record.handles, c.lookedUp);
    EXPECT_EQ(hasTarget(v), c.allExcept || c.targetPid != 0);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ParseRules,
    ::testing::Values(
        ParseCase{"NoArguments", {}, false, 0, 0, {}},
        ParseCase{"OneArgument", {L"--window"}, false, 0, 0, {}},
        ParseCase{"LoneAllExceptIsNeverAnOption", {L"--all-except"}, false, 0, 0, {}},
        ParseCase{"OptionInLastPlaceHasNoEffect", {L"--self", L"5", L"--all-except"}, false, 5, 0, {}},
        ParseCase{"AllExceptZeroIsAllExceptMode", {L"--all-except", L"0"}, true, 0, 0, {}},
        ParseCase{"SelfAloneIsNoTarget", {L"--self", L"1234"}, false, 1234, 0, {}},
        ParseCase{"WindowGivesItsOwner", {L"--window", L"42", L"--self", L"7"}, false, 7, 1042, {42}},
        ParseCase{"WindowNamingNoWindowLeavesZero", {L"--window", L"500"}, false, 0, 0, {500}},
        ParseCase{"ValueThatSpellsAnOptionActsAsOne", {L"--self", L"--all-except", L"42"}, true, 42, 0, {}},
        ParseCase{"LaterSelfWinsOverAllExcept", {L"--all-except", L"5", L"--self", L"7"}, true, 7, 0, {}},
        ParseCase{"AllExceptFlagStaysSet", {L"--all-except", L"5", L"--self", L"7", L"--self", L"8"}, true, 8, 0, {}},
        ParseCase{"RepeatedAllExceptKeepsTheFlag", {L"--all-except", L"1", L"--all-except", L"2"}, true, 2, 0, {}},
        ParseCase{"LastWindowDecides", {L"--window", L"1", L"--window", L"2"}, false, 0, 1002, {1, 2}},
        ParseCase{"LaterWindowNamingNoWindowKeepsEarlierOwner",
                  {L"--window", L"3", L"--window", L"500"}, false, 0, 1003, {3, 500}},
        ParseCase{"WindowTakesSelfAsValueThenSelfActs",
                  {L"--window", L"--self", L"9"}, false, 9, 0, {0}},
        ParseCase{"HexHandleConvertsToZero", {L"--window", L"0x10"}, false, 0, 0, {0}},
        ParseCase{"OptionsAreCaseSensitiveAndWhole",
                  {L"--Window", L"1", L"--self=3", L"4", L"-self", L"5", L"--selfx", L"6"}, false, 0, 0, {}},
        ParseCase{"StrayArgumentsAreSkipped", {L"x", L"--all-except", L"12", L"y", L"z"}, true, 12, 0, {}},
        ParseCase{"NonNumericValueGivesZero", {L"--all-except", L"abc"}, true, 0, 0, {}},
        ParseCase{"MinusOneIsLargestPid", {L"--self", L"-1", L"--all-except", L"-1"}, true, 4294967295u, 0, {}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(CommandLine, LookupIsCalledOnlyForWindowValues) {
    LookupRecord record;
    parse({L"--self", L"3", L"--all-except", L"4", L"17", L"--window", L"18", L"--window"}, record);
    EXPECT_EQ(record.handles, (std::vector<std::uint64_t>{18}));
}

TEST(CommandLine, EmptyLookupIsNotCalled) {
    const wchar_t* argv[] = {L"p", L"--window", L"5", nullptr};
    const SelectionValues v = parseCommandLine(3, argv, WindowOwnerLookup{});
    EXPECT_EQ(v.targetPid, 0u);
}

struct PidCase {
    const wchar_t* text;
    std::uint32_t value;
};

class PidConversion : public ::testing::TestWithParam<PidCase> {};

TEST_P(PidConversion, FollowsTheBase10Rules) {
    EXPECT_EQ(convertProcessId(GetParam().text), GetParam().value) << "text: " << testing::PrintToString(std::wstring(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, PidConversion,
    ::testing::Values(
        PidCase{L"0", 0}, PidCase{L"1234", 1234}, PidCase{L"", 0}, PidCase{L"abc", 0},
        PidCase{L"+", 0}, PidCase{L"-", 0}, PidCase{L"+-5", 0}, PidCase{L"--5", 0},
        PidCase{L" \t\n\v\f\r42", 42}, PidCase{L"42 ", 42}, PidCase{L"4 2", 4},
        PidCase{L"+17", 17}, PidCase{L"-1", 4294967295u}, PidCase{L"-2", 4294967294u},
        PidCase{L"-0", 0}, PidCase{L"-4294967295", 1}, PidCase{L"0x10", 0}, PidCase{L"12abc", 12},
        PidCase{L"007", 7}, PidCase{L"4294967295", 4294967295u},
        PidCase{L"4294967296", 4294967295u}, PidCase{L"99999999999999999999999", 4294967295u},
        PidCase{L"-4294967296", 4294967295u}, PidCase{L"  -99999999999", 4294967295u},
        PidCase{L"42949672950", 4294967295u}, PidCase{L"429496729", 429496729u},
        PidCase{L"\x00A0" L"5", 0}, PidCase{L"\xFF15", 0}));

struct HandleCase {
    const wchar_t* text;
    std::uint64_t value;
};

class HandleConversion : public ::testing::TestWithParam<HandleCase> {};

TEST_P(HandleConversion, FollowsTheBase10Rules) {
    EXPECT_EQ(convertWindowHandle(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, HandleConversion,
    ::testing::Values(
        HandleCase{L"0", 0}, HandleCase{L"65554", 65554}, HandleCase{L"", 0}, HandleCase{L"0x10", 0},
        HandleCase{L" +9", 9}, HandleCase{L"4294967296", 4294967296ull},
        HandleCase{L"-1", 18446744073709551615ull}, HandleCase{L"-18446744073709551615", 1},
        HandleCase{L"18446744073709551615", 18446744073709551615ull},
        HandleCase{L"18446744073709551616", 18446744073709551615ull},
        HandleCase{L"-18446744073709551616", 18446744073709551615ull},
        HandleCase{L"1844674407370955161", 1844674407370955161ull},
        HandleCase{L"184467440737095516150", 18446744073709551615ull}));

}  // namespace
