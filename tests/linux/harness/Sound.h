#pragma once
// The sound side of the Linux tests: players on the test's sound server, what
// a parent hears in the program's stream, and what the server shows of a
// process. Test thread only.
//
// Players are real applications playing steady tones: pacat with a 30 ms
// buffer, fed a tone file that the test generates, or this folder's
// two-stream player; each is a process group (Processes.h) that Players ends.
// A pacat in a window runs under this folder's window client, which needs a
// display (TestDisplay.h) first.

#include "harness/Processes.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct Tone {
    double frequency = 0;
    double level = 0;  // peak, 1.0 = full scale
};

enum class Launch {
    Direct,          // pacat, a child of the test
    UnderShell,      // sh, with pacat its child
    AsIgnoredName,   // pacat run under the name "easyeffects"
    TwoStreams,      // one process playing `tone` and `second` on two streams
    ParentAndChild,  // `tone` from a process, `second` from its child
    InWindow,        // pacat the child of a window client (window_client.cpp) on DISPLAY
    InSandboxWindow, // the same in a pid namespace of their own (bwrap --unshare-pid)
    InSandbox,       // pacat alone in a pid namespace of its own (bwrap --unshare-pid)
    InFlatpakLike,   // pacat under sh in a pid namespace and a root of their own, with a /.flatpak-info naming sandboxAppId
    PwPlay,          // pw-play, PipeWire's own client (PipeWire only), playing toneWav(tone)
};

// The app id that an InFlatpakLike sandbox's /.flatpak-info gives.
inline constexpr char sandboxAppId[] = "org.example.Tone";

struct Player {
    Launch launch = Launch::Direct;
    Tone tone;
    Tone second;
};

class Players {
public:
    ~Players();
    pid_t start(const Player& player);  // the process started: its group holds the player's tree
    // Any program as a player: argv run as a process group of its own, with
    // standard input from `input` when it is a descriptor, or with `descriptors`.
    pid_t start(const std::vector<std::string>& argv, int input = -1);
    pid_t start(const std::vector<std::string>& argv, const DescriptorMap& descriptors);
    void end(pid_t group);
    // The window that a window client started as `group` made; 0 when none.
    std::uint32_t window(pid_t group) const;

private:
    std::vector<pid_t> groups;
    std::map<pid_t, std::uint32_t> windows;
};

// 60 s of the tone as a 16-bit stereo 48 kHz WAV file, made once in the
// scratch folder: what file players (paplay, pw-play, aplay) play.
std::string toneWav(const Tone& tone);

// The same 60 s as raw s16le samples, what pacat plays.
std::string toneSamples(const Tone& tone);

// The folder for a test's files: VINTRA_TEST_SCRATCH, made when missing.
std::string scratchFolder();

// The level of `frequency` in the last 0.5 s of `samples` (channel 0 left,
// 1 right): the median of five 100 ms windows (sound::medianToneLevel).
double heardLevel(const std::vector<float>& samples, double frequency, int channel = 0);
// The first block of `samples` whose 20 ms (with the next block) holds the
// tone at half its level or more; the block count when none does.
std::size_t firstBlockWith(const std::vector<float>& samples, const Tone& tone);

// True once the server's `list` ("clients", or "source-outputs": record
// streams) holds `count` entries whose application.process.id is `pid`,
// asked through pactl for at most 5 s.
bool serverShows(const char* list, pid_t pid, int count);
// The index of the playback stream (sink input) of `pid`, asked through pactl
// for at most 5 s; -1 when none came.
long playbackStreamOf(pid_t pid);
