// The command line as a parent meets it, old options and new side by side:
// each list of arguments ends with the usage line and code 1, runs to
// "ready", or prints the list of what plays and ends with code 0.

#include "FakeWorld.h"

namespace {

class Arguments : public FakeWorld {};

const char* const usage = "usage: vintra-app-audio --window <hwnd> [--self <pid>] | --all-except <pid>\n";

TEST_F(Arguments, EachListHasItsOutcome) {
    Players player = startPlayers(L"440 8192 window", 1);
    const std::wstring pid = std::to_wstring(player.pids[0]), window = player.windows[0];
    enum Outcome { usageLine, ready, list };
    const struct {
        std::wstring arguments;
        Outcome outcome;
    } rows[] = {
        {L"", usageLine},  // the options there have always been
        {L"--all-except", usageLine},
        {L"--self 1234", usageLine},
        {L"--window 1", usageLine},
        {L"--window 0x10 --self 7", usageLine},
        {L"--all-except 0", ready},
        {L"--window " + window, ready},
        {L"--self --all-except 42", ready},
        {L"--pid " + pid, ready},  // the new ones
        {L"--pid 4000000000", usageLine},  // no such process
        {L"--pid 0", usageLine},
        {L"--pid", usageLine},
        {L"--exe notyet", ready},  // heard once it plays
        {L"--exe", usageLine},
        {L"--except-pid 5 --except-pid 6", ready},
        {L"--except-exe x", ready},
        {L"--follow", usageLine},
        {L"--list", list},
        {L"--pid 4000000000 --list --self 3", list},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments);
        auto program = startProgram(row.arguments);
        if (row.outcome == usageLine) {
            expectOnlyOnStandardError(*program, 1, usage);
        } else if (row.outcome == ready) {
            EXPECT_TRUE(program->waitReady(30000)) << program->error();
            program->closeInput();
            EXPECT_EQ(program->waitExit(10000), 0);
        } else {
            EXPECT_TRUE(program->readLine(30000).starts_with("[")) << "no list";
            EXPECT_EQ(program->waitExit(30000), 0);
            EXPECT_EQ(program->error(), "");
        }
    }
}

TEST(WithoutFake, ListingIsUnsupportedUnderStockWine) {
    for (const wchar_t* arguments : {L"--list", L"--list --follow"}) {
        SCOPED_TRACE(arguments);
        expectOnlyOnStandardError(*startProgram(arguments), 2, "unsupported 0x80070002\n");
    }
}

}  // namespace
