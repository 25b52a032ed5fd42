// Players that nobody here wrote, as a parent's users run them: command-line
// players, GStreamer, ALSA through its pulse plugin, native PipeWire players,
// and players in a pid namespace of their own as Flatpak runs apps. Each is
// heard once at its level, and silent when its process, or its sandbox, is
// the one excluded; an event sound is never heard. Window mode takes a
// sandboxed window's player, and not another sandboxed player.
//
// Two sandboxes that run the same program under the same inner id cannot be
// told apart, so CTest never runs this test against both servers at once.

#include "harness/Sound.h"
#include "harness/TestDisplay.h"

#include "ProgramProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace {

constexpr double silent = 0.01;

std::vector<std::string> pacat{"pacat", "--playback", "--latency-msec=30", "--format=s16le", "--rate=48000",
                               "--channels=2"};

std::vector<std::string> then(std::vector<std::string> first, const std::vector<std::string>& rest) {
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
}

// A GStreamer pipeline of a test tone into `sink`.
std::vector<std::string> gstreamer(const Tone& tone, const char* sink) {
    return {"gst-launch-1.0", "-q", "audiotestsrc", "freq=" + std::to_string(tone.frequency),
            "volume=" + std::to_string(tone.level), "!", "audioconvert", "!",
            "audio/x-raw,format=S16LE,rate=48000,channels=2", "!", sink};
}

pid_t fromFile(Players& players, const std::vector<std::string>& argv, const Tone& tone) {
    const int input = open(toneWav(tone).c_str(), O_RDONLY | O_CLOEXEC);
    const pid_t pid = players.start(argv, input);
    close(input);
    return pid;
}

struct RealPlayer {
    const char* name;
    bool pipewireOnly;
    bool eventSound;  // never to be heard
    std::function<pid_t(Players&, const Tone&)> start;
};

const RealPlayer realPlayers[] = {
    {"pacat", false, false, [](Players& p, const Tone& t) { return fromFile(p, pacat, t); }},
    {"paplay, default buffer", false, false, [](Players& p, const Tone& t) { return p.start({"paplay", toneWav(t)}); }},
    {"pw-play", true, false, [](Players& p, const Tone& t) { return p.start({"pw-play", "--latency=30ms", toneWav(t)}); }},
    {"GStreamer pulsesink", false, false, [](Players& p, const Tone& t) { return p.start(gstreamer(t, "pulsesink")); }},
    {"GStreamer pipewiresink", true, false,
     [](Players& p, const Tone& t) { return p.start(gstreamer(t, "pipewiresink")); }},
    {"aplay through the ALSA pulse plugin", false, false,
     [](Players& p, const Tone& t) { return p.start({"aplay", "-q", "-D", "pulse", toneWav(t)}); }},
    {"pacat under unshare --pid --fork", false, false,
     [](Players& p, const Tone& t) { return fromFile(p, then({"unshare", "--pid", "--fork"}, pacat), t); }},
    {"pacat under bwrap --unshare-pid", false, false,
     [](Players& p, const Tone& t) {
         return fromFile(p, then({"bwrap", "--unshare-pid", "--dev-bind", "/", "/"}, pacat), t);
     }},
    {"an event sound (paplay, media.role event)", false, true,
     [](Players& p, const Tone& t) { return p.start({"paplay", "--property=media.role=event", toneWav(t)}); }},
};

// What the program streams for `seconds`, excluding `excluded`. Judged on
// the last half second: a player with a large buffer, as paplay's default
// is, reaches a new record stream up to 2 s late.
std::vector<float> streamExcluding(pid_t excluded, double seconds) {
    ProgramProcess run({VINTRA_LINUX_PROGRAM, "--all-except", std::to_string(excluded)});
    EXPECT_TRUE(run.waitReady(20)) << run.errorText();
    std::vector<float> stream = run.read(static_cast<std::size_t>(seconds * 100), seconds + 10);
    EXPECT_EQ(run.finish(10), 0);
    return stream;
}

TEST(RealPlayers, EachHeardAtItsLevelAndSilentWhenItOrItsSandboxIsExcluded) {
    const char* kind = std::getenv("VINTRA_SOUND_SERVER_KIND");
    ASSERT_TRUE(kind) << "run by CTest, which starts the server";
    // GStreamer keeps a plugin registry; it goes into the scratch folder, not
    // into the home of whoever runs the tests.
    setenv("GST_REGISTRY", (scratchFolder() + "/gstreamer-registry.bin").c_str(), 1);
    // Excluding a process that has nothing to do with the players: a player
    // whose claimed id were taken as it stands (1 or 2 inside a sandbox: init
    // or a kernel thread, ancestors of everything) would be excluded with it.
    Players unrelated;
    const pid_t bystander = unrelated.start({"sleep", "600"});

    const Tone tone{440, 0.2};
    for (const RealPlayer& player : realPlayers) {
        if (player.pipewireOnly && std::string(kind) != "pipewire") {
            continue;
        }
        SCOPED_TRACE(player.name);
        Players players;
        const pid_t pid = player.start(players, tone);
        const double expected = player.eventSound ? 0 : tone.level;
        EXPECT_NEAR(heardLevel(streamExcluding(bystander, 3.5), tone.frequency), expected,
                    player.eventSound ? silent : 0.3 * tone.level)
            << "with an unrelated process excluded";
        if (!player.eventSound) {
            EXPECT_LT(heardLevel(streamExcluding(pid, 3.5), tone.frequency), silent) << "with the player excluded";
        }
    }
}

TEST(RealPlayers, SandboxedWindowsTreeIsHeardAndAnotherSandboxedPlayerIsNot) {
    // The window's client says it is pid 2 (its pid inside); the X server
    // knows its pid here. Its pacat says 3, the other sandboxed pacat 2.
    TestDisplay display;
    Players players;
    const Tone inWindow{440, 0.2}, elsewhere{660, 0.1};
    const std::uint32_t window = players.window(players.start({Launch::InSandboxWindow, inWindow}));
    players.start({Launch::InSandbox, elsewhere});
    ASSERT_NE(window, 0u);
    ProgramProcess run({VINTRA_LINUX_PROGRAM, "--window", std::to_string(window)});
    ASSERT_TRUE(run.waitReady(20)) << run.errorText();
    const std::vector<float> stream = run.read(300, 10);
    EXPECT_NEAR(heardLevel(stream, inWindow.frequency), inWindow.level, 0.3 * inWindow.level);
    EXPECT_LT(heardLevel(stream, elsewhere.frequency), silent);
    EXPECT_EQ(run.finish(10), 0);
}

}  // namespace
