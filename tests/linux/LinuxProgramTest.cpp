// The Linux program against a real sound server and real players, judged by
// a parent as its users judge it. CTest runs this program once against
// PulseAudio and once against PipeWire with pipewire-pulse; PULSE_SERVER and
// PULSE_COOKIE name the server, which scripts/sound-server started in the
// cookie's folder, and VINTRA_SOUND_SERVER_KIND says which server it is.

#include "harness/Processes.h"
#include "harness/Sound.h"
#include "harness/TestDisplay.h"

#include "ProgramProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>

namespace {

constexpr double readyBound = 20;  // s: a first scan on a busy machine, with room to spare
constexpr double silent = 0.01;
constexpr Tone a{440, 0.25}, b{660, 0.125}, c{880, 0.1}, noA{440, 0}, noB{660, 0}, noC{880, 0};
constexpr std::size_t blockValues = ProgramProcess::blockValues;
constexpr char usageText[] = "usage: vintra-app-audio --window <hwnd> [--self <pid>] | --all-except <pid>\n";

// The program under test, started as its parents start it.
struct ProgramRun : ProgramProcess {
    explicit ProgramRun(std::vector<std::string> arguments) : ProgramProcess(withProgram(std::move(arguments))) {}
    static std::vector<std::string> withProgram(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), VINTRA_LINUX_PROGRAM);
        return arguments;
    }
};

// Ends a run as a parent does (`end`), then checks what the program leaves:
// exit 0, nothing on standard error but `said` ("ready\n" for a capture,
// nothing for a list), nothing on the server.
void endRun(ProgramRun& run, int (ProgramProcess::*end)(double) = &ProgramProcess::finish,
            const char* said = "ready\n") {
    EXPECT_EQ((run.*end)(10), 0);
    EXPECT_EQ(run.errorText(), said);
    EXPECT_TRUE(serverShows("clients", run.pid(), 0) && serverShows("source-outputs", run.pid(), 0))
        << "the server still lists the program's connection or record streams";
}

// The blocks of the next `seconds` of stream before `tone` is heard in them;
// seconds x 100 when it is not.
std::size_t blocksUntilHeard(ProgramRun& run, const Tone& tone, double seconds) {
    return firstBlockWith(run.read(static_cast<std::size_t>(seconds * 100), seconds + 10), tone);
}

// Each tone at its level on both channels, or silent where its level is 0.
void expectHeard(const std::vector<float>& stream, const std::vector<Tone>& heard) {
    for (const Tone& tone : heard) {
        for (int channel : {0, 1}) {
            EXPECT_NEAR(heardLevel(stream, tone.frequency, channel), tone.level,
                        tone.level == 0 ? silent : 0.3 * tone.level)
                << tone.frequency << " Hz, channel " << channel;
        }
    }
}

bool onPipeWire() {
    const char* kind = std::getenv("VINTRA_SOUND_SERVER_KIND");
    return kind != nullptr && std::string(kind) == "pipewire";
}

enum class Pick { Zero, First, Second, Test, Nobody };  // First, Second: the processes started

// How the target is named (the test adds --self self when there is one).
enum class Window {
    None,         // --all-except target
    OfClient,     // --window <the window that the target, a window client, made>
    Labelled,     // --window <a window the test made, whose _NET_WM_PID is target>
    LabelledOnly, // the same on a display without X-Resource
};

struct SelectionRow {
    const char* name;
    std::vector<Player> players;
    Window window;
    Pick target, self;
    std::vector<Tone> heard;  // level 0: silent
};

const std::vector<Player> direct{{Launch::Direct, a}, {Launch::Direct, b}};
const std::vector<Player> shellAndDirect{{Launch::UnderShell, a}, {Launch::Direct, b}};
const std::vector<Player> windowAndDirect{{Launch::InWindow, a}, {Launch::Direct, b}};
const SelectionRow selectionRows[] = {
    {"two players", direct, Window::None, Pick::Zero, Pick::Nobody, {a, b}},
    {"an excluded tree", shellAndDirect, Window::None, Pick::First, Pick::Nobody, {noA, b}},
    {"an ignored name", {{Launch::AsIgnoredName, a}, {Launch::Direct, b}}, Window::None, Pick::Zero, Pick::Nobody, {noA, b}},
    {"a window's tree", windowAndDirect, Window::OfClient, Pick::First, Pick::Nobody, {a, noB}},
    {"a window, self elsewhere", windowAndDirect, Window::OfClient, Pick::First, Pick::Second, {a, noB}},
    {"a window, self its target", windowAndDirect, Window::OfClient, Pick::First, Pick::First, {noA, noB}},
    {"a window, self its parent", windowAndDirect, Window::OfClient, Pick::First, Pick::Test, {noA, noB}},
    // Windows the test made, labelled with the first player's pid. The server
    // knows the test made it, and the test's tree holds both players; without
    // X-Resource the label is all there is.
    {"a window's maker before its label", direct, Window::Labelled, Pick::First, Pick::Nobody, {a, b}},
    {"a window's label without X-Resource", direct, Window::LabelledOnly, Pick::First, Pick::Nobody, {a, noB}},
    {"two streams of one process", {{Launch::TwoStreams, a, b}}, Window::None, Pick::Zero, Pick::Nobody, {a, b}},
    {"a parent's and its child's streams", {{Launch::ParentAndChild, a, b}}, Window::None, Pick::Zero, Pick::Nobody, {a, b}},
};

TEST(LinuxProgram, SelectsStreamsAndHearsEachOnceAtItsLevel) {
    for (const SelectionRow& row : selectionRows) {
        SCOPED_TRACE(row.name);
        std::optional<TestDisplay> display;
        if (row.window != Window::None) {
            display.emplace(row.window != Window::LabelledOnly);
        }
        Players players;
        std::vector<pid_t> started;
        for (const Player& player : row.players) {
            started.push_back(players.start(player));
        }
        auto pid = [&](Pick pick) {
            const pid_t id = pick == Pick::First ? started[0] : pick == Pick::Second ? started[1]
                             : pick == Pick::Test ? getpid() : 0;
            return std::to_string(id);
        };
        std::vector<std::string> arguments{"--all-except", pid(row.target)};
        if (row.window != Window::None) {
            const pid_t target = std::stoi(pid(row.target));
            const std::uint32_t window = row.window == Window::OfClient ? players.window(target) : display->windowOf(target);
            ASSERT_NE(window, 0u);
            arguments = {"--window", std::to_string(window)};
            if (row.self != Pick::Nobody) {
                arguments.insert(arguments.end(), {"--self", pid(row.self)});
            }
        }
        ProgramRun run(arguments);
        ASSERT_TRUE(run.waitReady(readyBound)) << run.errorText();
        // Judged on the last half second of three: a source's first audio
        // may wait on an idle sink (docs/performance.md).
        expectHeard(run.read(300, 10), row.heard);
        endRun(run);
    }
}

// Processes chosen by id and programs by name, to hear or to leave out. The
// arguments name the players by placeholders: "$1" to "$3" the processes
// started, "$test" this test (every player's parent), "$window1" the window
// that the first player made.
struct ChoiceRow {
    const char* name;
    bool pipewireOnly;
    std::vector<Player> players;
    std::vector<std::string> arguments;
    std::vector<Tone> heard;  // level 0: silent
};

const Player otherProgram{Launch::TwoStreams, c, {1000, 0}};  // not pacat; its second stream is silent
const ChoiceRow choiceRows[] = {
    {"two --pid, not a third", false, {{Launch::Direct, a}, {Launch::UnderShell, b}, {Launch::Direct, c}},
     {"--pid", "$1", "--pid", "$2"}, {a, b, noC}},
    {"--exe in another case: every pacat, no other program", false,
     {{Launch::Direct, a}, {Launch::UnderShell, b}, otherProgram}, {"--exe", "PaCat"}, {a, b, noC}},
    {"--exe pacat, not a pw-play", true, {{Launch::Direct, a}, {Launch::PwPlay, b}}, {"--exe", "pacat"}, {a, noB}},
    // pw-play runs pw-cat: the name it was run under (comm) chooses it too.
    {"--exe pw-play", true, {{Launch::Direct, a}, {Launch::PwPlay, b}}, {"--exe", "pw-play"}, {noA, b}},
    {"--window and --pid together", false, {{Launch::InWindow, a}, {Launch::Direct, b}, {Launch::Direct, c}},
     {"--window", "$window1", "--pid", "$2"}, {a, b, noC}},
    {"--self the targets' parent", false, {{Launch::Direct, a}, {Launch::Direct, b}},
     {"--pid", "$1", "--pid", "$2", "--self", "$test"}, {noA, noB}},
    {"two --except-pid, one a shell's tree", false,
     {{Launch::UnderShell, a}, {Launch::Direct, b}, {Launch::Direct, c}},
     {"--except-pid", "$1", "--except-pid", "$2"}, {noA, noB, c}},
    {"--except-exe", false, {{Launch::Direct, a}, {Launch::UnderShell, b}, otherProgram}, {"--except-exe", "pacat"},
     {noA, noB, c}},
};

TEST(LinuxProgram, ChoosesProcessesAndProgramsToHearOrToLeaveOut) {
    for (const ChoiceRow& row : choiceRows) {
        if (row.pipewireOnly && !onPipeWire()) {
            continue;
        }
        SCOPED_TRACE(row.name);
        std::optional<TestDisplay> display;
        if (row.players[0].launch == Launch::InWindow) {
            display.emplace();
        }
        Players players;
        std::map<std::string, std::string> named{{"$test", std::to_string(getpid())}};
        for (std::size_t i = 0; i < row.players.size(); ++i) {
            const pid_t pid = players.start(row.players[i]);
            named["$" + std::to_string(i + 1)] = std::to_string(pid);
            named["$window" + std::to_string(i + 1)] = std::to_string(players.window(pid));
        }
        std::vector<std::string> arguments = row.arguments;
        for (std::string& argument : arguments) {
            argument = named.contains(argument) ? named[argument] : argument;
        }
        ProgramRun run(arguments);
        ASSERT_TRUE(run.waitReady(readyBound)) << run.errorText();
        expectHeard(run.read(300, 10), row.heard);
        endRun(run);
    }
}

TEST(LinuxProgram, LatePlayerIsHeardSoonAndAnEndedOneIsClosed) {
    Players players;
    // A quiet player throughout keeps the sink rendering at a low latency. An
    // idle PulseAudio null sink renders up to 2 s ahead and reaches a new
    // stream only then, whoever records it (docs/performance.md): that wait is
    // the server's, and this test measures the program's.
    const Tone quiet{880, 0.05};
    players.start({Launch::Direct, quiet});
    ProgramRun run({"--all-except", "0"});
    ASSERT_TRUE(run.waitReady(readyBound)) << run.errorText();
    ASSERT_LT(blocksUntilHeard(run, quiet, 3), 300u) << "the quiet player was never heard";
    run.read(SIZE_MAX, 0);  // from here, blocks read are the program's stream time
    const pid_t late = players.start({Launch::Direct, a});
    EXPECT_LE(blocksUntilHeard(run, a, 3), 50u) << "blocks from the player's start to its sound";
    EXPECT_TRUE(serverShows("source-outputs", run.pid(), 2));

    players.end(late);
    run.read(SIZE_MAX, 0);
    run.read(20, 10);
    EXPECT_LT(heardLevel(run.read(100, 10), a.frequency), silent) << "sound after the player ended";
    EXPECT_TRUE(serverShows("source-outputs", run.pid(), 1)) << "a record stream outlives its player";
    endRun(run);
}

TEST(LinuxProgram, ParentEndsItByClosingEitherPipe) {
    for (const bool listing : {false, true}) {
        for (void (ProgramProcess::*close)() : {&ProgramProcess::closeInput, &ProgramProcess::closeOutput}) {
            SCOPED_TRACE(close == &ProgramProcess::closeInput ? "standard input closed" : "standard output closed");
            SCOPED_TRACE(listing ? "a list that follows" : "a capture");
            Players players;
            players.start({Launch::Direct, a});
            ProgramRun run(listing ? std::vector<std::string>{"--list", "--follow"}
                                   : std::vector<std::string>{"--all-except", "0"});
            if (listing) {
                ASSERT_NE(run.readLine(readyBound), "") << run.errorText();
            } else {
                ASSERT_TRUE(run.waitReady(readyBound)) << run.errorText();
                EXPECT_TRUE(serverShows("source-outputs", run.pid(), 1));
            }
            (run.*close)();
            endRun(run, &ProgramProcess::waitExit, listing ? "" : "ready\n");
        }
    }
}

// A list that follows prints a new line soon after a player starts (timed
// from when the server lists its stream) and after it ends.
TEST(LinuxProgram, ListFollowsPlayersThatStartAndEnd) {
    ProgramRun run({"--list", "--follow"});
    std::string last = run.readLine(readyBound);
    ASSERT_TRUE(nlohmann::json::parse(last, nullptr, false).is_array()) << last << run.errorText();
    // True once a line that came within 2.5 s lists `pid`, or no longer does.
    const auto soonListed = [&](pid_t pid, bool listed) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
        for (std::string line; !(line = run.readLine(std::chrono::duration<double>(end - std::chrono::steady_clock::now()).count())).empty();) {
            EXPECT_NE(line, last) << "a line that changes nothing";
            last = line;
            if ((line.find("\"pid\":" + std::to_string(pid) + ",") != std::string::npos) == listed) {
                return true;
            }
        }
        return false;
    };
    Players players;
    const pid_t player = players.start({Launch::Direct, a});
    ASSERT_TRUE(serverShows("sink-inputs", player, 1));
    EXPECT_TRUE(soonListed(player, true)) << last;
    players.end(player);
    EXPECT_TRUE(soonListed(player, false)) << last;
    endRun(run, &ProgramProcess::finish, "");
}

TEST(LinuxProgram, StreamGoesOnWithoutTheServerAndCaptureResumesWhenItIsBack) {
    const char *cookie = std::getenv("PULSE_COOKIE"), *kind = std::getenv("VINTRA_SOUND_SERVER_KIND");
    ASSERT_TRUE(cookie && kind) << "run by CTest, which starts the server";
    const std::string folder = std::filesystem::path(cookie).parent_path();
    Players players;
    const pid_t first = players.start({Launch::Direct, a});
    ProgramRun run({"--all-except", "0"});
    ASSERT_TRUE(run.waitReady(readyBound)) << run.errorText();
    ASSERT_LT(blocksUntilHeard(run, a, 3), 300u) << "never heard";

    pid_t server = 0;
    std::ifstream(folder + "/server.pid") >> server;
    ASSERT_GT(server, 0);
    kill(server, SIGKILL);
    run.read(SIZE_MAX, 0);
    const std::vector<float> without = run.read(SIZE_MAX, 2);
    EXPECT_GE(without.size() / blockValues, 150u) << "blocks in the 2 s after the server was killed";
    EXPECT_LT(heardLevel(without, a.frequency), silent) << "sound without a server";
    players.end(first);

    // The same server back in the same folder: same socket, same cookie file.
    const std::string restart = "'" VINTRA_SOUND_SERVER "' start " + std::string(kind) + " '" + folder + "'";
    ASSERT_EQ(std::system((restart + " >/dev/null").c_str()), 0);
    players.start({Launch::Direct, b});
    EXPECT_LT(blocksUntilHeard(run, b, 10), 1000u) << "capture did not resume";
    endRun(run);
}

TEST(LinuxProgram, WithoutAServerSaysUnsupportedAndExitsTwo) {
    // A socket whose backlog takes connections that nobody ever answers.
    sockaddr_un mute{AF_UNIX, {}};
    (scratchFolder() + "/mute-server").copy(mute.sun_path, sizeof mute.sun_path - 1);
    unlink(mute.sun_path);
    const int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&mute), sizeof mute), 0);
    ASSERT_EQ(listen(listening, 16), 0);
    const std::string saved = std::getenv("PULSE_SERVER") ? std::getenv("PULSE_SERVER") : "";
    for (const std::string& socket : {scratchFolder() + "/no-server", std::string(mute.sun_path)}) {
        for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--all-except", "0"}, {"--list"}}) {
            SCOPED_TRACE(socket + " " + arguments[0]);
            setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
            ProgramRun run(arguments);
            // Standard input stays open: the program must end by itself.
            EXPECT_EQ(run.waitExit(20), 2);
            EXPECT_TRUE(std::regex_match(run.errorText(), std::regex("unsupported 0x[0-9a-f]{8}\n"))) << run.errorText();
            EXPECT_EQ(run.readLine(0), "") << "a list without a server";
        }
    }
    setenv("PULSE_SERVER", saved.c_str(), 1);
    close(listening);
    unlink(mute.sun_path);
}

TEST(LinuxProgram, WindowOfNoKnownOwnerGetsTheUsageLine) {
    enum Case { NoDisplay, MuteServer, NoSuchWindow };
    for (Case which : {NoDisplay, MuteServer, NoSuchWindow}) {
        SCOPED_TRACE(which == NoDisplay ? "no display" : which == MuteServer ? "a server that never answers"
                                                                             : "an id in a live client's range, no window");
        unsetenv("DISPLAY");
        std::optional<MuteDisplay> mute;
        std::optional<TestDisplay> display;
        std::string window = "12345";
        if (which == MuteServer) {
            mute.emplace();
        } else if (which == NoSuchWindow) {
            // The test's next id: the server would name the test as its maker.
            window = std::to_string(display.emplace().windowOf(getpid()) + 1);
        }
        ProgramRun run({"--window", window});
        // Standard input stays open: the program must end by itself.
        EXPECT_EQ(run.waitExit(20), 1);
        EXPECT_EQ(run.errorText(), usageText);
    }
}

TEST(LinuxProgram, FollowAloneOrAPidThatRunsNoMoreGetsTheUsageLine) {
    const pid_t ended = startProcess({"true"});
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(ended), &info, WEXITED | WNOWAIT), 0);  // a zombie, not reaped
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--follow"}, {"--pid", std::to_string(ended)}}) {
        SCOPED_TRACE(arguments.back());
        ProgramRun run(arguments);
        // Standard input stays open: the program must end by itself.
        EXPECT_EQ(run.waitExit(20), 1);
        EXPECT_EQ(run.errorText(), usageText);
    }
    endGroup(ended);
}

}  // namespace
