// The option walk and the two saturating conversions. The stand-in window
// lookup gives window h (1 to 99) to process 1000 + h; other handles name no
// window.

#include "app/CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, OptionWalk) {
    // The arguments after the program name; the values; the handles looked up, in order.
    struct Case { std::vector<const wchar_t*> args; bool allExcept; std::uint32_t selfPid, targetPid;
                  std::vector<std::uint64_t> lookedUp; };
    const Case cases[] = {
        {{L"--all-except"}, false, 0, 0, {}},  // last place: no value, no effect
        {{L"--self", L"5", L"--all-except"}, false, 5, 0, {}},
        {{L"--all-except", L"5"}, true, 5, 0, {}},
        {{L"--all-except", L"0"}, true, 0, 0, {}},
        {{L"--self", L"1234"}, false, 1234, 0, {}},
        {{L"--self", L"--all-except", L"42"}, true, 42, 0, {}},  // a value is looked at too
        {{L"--all-except", L"5", L"--self", L"7"}, true, 7, 0, {}},  // later overrides; the flag stays
        {{L"--window", L"42", L"--self", L"7"}, false, 7, 1042, {42}},
        {{L"--window", L"500"}, false, 0, 0, {500}},
        {{L"--window", L"1", L"--window", L"2"}, false, 0, 1002, {1, 2}},
        {{L"--window", L"3", L"--window", L"500"}, false, 0, 1003, {3, 500}},
        {{L"--Window", L"1", L"--self=3", L"4", L"x", L"--selfx", L"6"}, false, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        std::vector<const wchar_t*> argv{L"vintra-app-audio"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.push_back(nullptr);  // as the runtime ends argv
        std::vector<std::uint64_t> lookedUp;
        const SelectionValues v = parseCommandLine(
            static_cast<int>(argv.size() - 1), argv.data(), [&](std::uint64_t handle, std::uint32_t& pid) {
                lookedUp.push_back(handle);
                pid = handle > 0 && handle < 100 ? static_cast<std::uint32_t>(1000 + handle) : pid;
            });
        EXPECT_EQ(v.allExcept, c.allExcept);
        EXPECT_EQ(v.selfPid, c.selfPid);
        EXPECT_EQ(v.targetPid, c.targetPid);
        EXPECT_EQ(lookedUp, c.lookedUp);
        EXPECT_EQ(hasTarget(v), c.allExcept || c.targetPid != 0);
    }
    // A program without window lookup passes an empty one: --window then gives no target.
    const wchar_t* argv[] = {L"p", L"--window", L"5", nullptr};
    EXPECT_FALSE(hasTarget(parseCommandLine(3, argv, WindowOwnerLookup{})));
}

TEST(CommandLine, SaturatingConversions) {
    struct Case { const wchar_t* text; std::uint32_t pid; std::uint64_t handle; };
    const Case cases[] = {
        {L"1234", 1234, 1234},         {L" \t\n\v\f\r42", 42, 42}, {L"\u00A0" L"5", 0, 0},  // C-locale space only
        {L"+17", 17, 17},              {L"+-5", 0, 0},               {L"--5", 0, 0},
        {L"", 0, 0},                   {L"-", 0, 0},                 {L"abc", 0, 0},
        {L"0x10", 0, 0},               {L"12abc", 12, 12},           {L"4 2", 4, 4},
        {L"-1", UINT32_MAX, UINT64_MAX},                  {L"-4294967295", 1, 18446744069414584321u},
        {L"-4294967296", UINT32_MAX, 18446744069414584320u}, {L"4294967294", 4294967294u, 4294967294u},
        {L"4294967296", UINT32_MAX, 4294967296u},         {L"18446744073709551614", UINT32_MAX, UINT64_MAX - 1},
        {L"18446744073709551616", UINT32_MAX, UINT64_MAX}, {L"-18446744073709551615", UINT32_MAX, 1},
        {L"-99999999999999999999999", UINT32_MAX, UINT64_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        EXPECT_EQ(convertProcessId(c.text), c.pid);
        EXPECT_EQ(convertWindowHandle(c.text), c.handle);
    }
}

TEST(CommandLine, UsageLine) {
    EXPECT_EQ(std::string(usageLine), "usage: vintra-app-audio --window <hwnd> [--self <pid>] | --all-except <pid>\n");
}

TEST(CommandLine, ChoosingOptionsAndFlags) {
    // The stand-in system runs processes 1 to 4999.
    struct Case { std::vector<const wchar_t*> args; bool allExcept, list, follow, target;
                  ChosenProcesses chosen; std::uint32_t selfPid = 0, targetPid = 0; bool rateMatch = false; };
    const Case cases[] = {
        {{L"--list"}, false, true, false, true, {}},  // a flag counts in last place, alone too
        {{L"--follow"}, false, false, true, false, {}},
        {{L"--follow", L"--list"}, false, true, true, true, {}},
        {{L"--pid", L"42"}, false, false, false, true, {{42}}},
        {{L"--pid", L"9999"}, false, false, false, false, {}},  // names no running process
        {{L"--pid", L"0"}, false, false, false, false, {}},
        {{L"--pid"}, false, false, false, false, {}},
        {{L"--pid", L"1", L"--window", L"5", L"--pid", L"2"}, false, false, false, true, {{1, 2}}, 0, 1005},
        {{L"--exe", L"Discord.EXE", L"--exe", L"spotify"}, false, false, false, true, {{}, {u"discord.exe", u"spotify"}}},
        {{L"--exe", L""}, false, false, false, false, {}},
        {{L"--exe", L"--list"}, false, true, false, true, {{}, {u"--list"}}},  // the value acts as a flag too
        {{L"--pid", L"--exe", L"x"}, false, false, false, true, {{}, {u"x"}}},
        {{L"--except-pid", L"5", L"--except-pid", L"6"}, true, false, false, true, {{}, {}, {5, 6}}},
        {{L"--except-pid", L"0"}, true, false, false, true, {{}, {}, {0}}},
        {{L"--except-exe", L"Spotify"}, true, false, false, true, {{}, {}, {}, {u"spotify"}}},
        {{L"--all-except", L"3", L"--except-pid", L"4", L"--pid", L"7"}, true, false, false, true, {{7}, {}, {4}}, 3},
        {{L"--Pid", L"3", L"--exe=x", L"4", L"--lists"}, false, false, false, false, {}},
        {{L"--rate-match"}, false, false, false, false, {}, 0, 0, true},  // a flag, but no target
        {{L"--all-except", L"5", L"--rate-match"}, true, false, false, true, {}, 5, 0, true},  // last place counts
        {{L"--rate-match", L"--window", L"7", L"--self", L"9"}, false, false, false, true, {}, 9, 1007, true},
        {{L"--pid", L"--rate-match", L"--exe", L"x"}, false, false, false, true, {{}, {u"x"}}, 0, 0, true},
        {{L"--list", L"--rate-match", L"--follow"}, false, true, true, true, {}, 0, 0, true},
        {{L"--self", L"--rate-match"}, false, false, false, false, {}, 0, 0, true},  // a value that spells it
        {{L"--rate-match=1", L"--Rate-Match", L"--rate-matching", L"--all-except", L"3"}, true, false, false, true, {}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        std::vector<const wchar_t*> argv{L"vintra-app-audio"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.push_back(nullptr);
        const SelectionValues v = parseCommandLine(
            static_cast<int>(argv.size() - 1), argv.data(),
            [](std::uint64_t handle, std::uint32_t& pid) { pid = static_cast<std::uint32_t>(1000 + handle); },
            [](std::uint32_t pid) { return pid < 5000; });
        EXPECT_EQ(v.allExcept, c.allExcept);
        EXPECT_EQ(v.list, c.list);
        EXPECT_EQ(v.follow, c.follow);
        EXPECT_EQ(hasTarget(v), c.target);
        EXPECT_EQ(v.chosen.pids, c.chosen.pids);
        EXPECT_TRUE(v.chosen.programs == c.chosen.programs);
        EXPECT_EQ(v.chosen.exceptPids, c.chosen.exceptPids);
        EXPECT_TRUE(v.chosen.exceptPrograms == c.chosen.exceptPrograms);
        EXPECT_EQ(v.selfPid, c.selfPid);
        EXPECT_EQ(v.targetPid, c.targetPid);
        EXPECT_EQ(v.rateMatch, c.rateMatch);
    }
}
