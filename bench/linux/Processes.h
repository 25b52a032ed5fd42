#pragma once
// The processes a measurement starts besides the program (players, parec),
// and what /proc says of any process. Main thread only.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace linuxbench {

// A steady tone as pacat reads it (s16le, 48000 Hz, stereo), 120 s long, in
// a file made once under `folder`.
std::string toneFile(const std::string& folder, double frequency, double level);
// The same tone as a 16-bit PCM WAV file, for players that read files (pw-play).
std::string toneWavFile(const std::string& folder, double frequency, double level);

// A child process with its standard input from `inputFile` (or /dev/null)
// and its standard output to `outputFd` (or /dev/null); ended by pid.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& inputFile = "", int outputFd = -1);
    ~Child();  // SIGTERM, then SIGKILL after 5 s; reaped
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    pid_t pid() const { return child; }

private:
    pid_t child = -1;
};

// pacat playing `tone` with a 30 ms buffer, or with its default (2 s) one.
std::vector<std::string> pacatArguments(bool defaultBuffer);

// The indexes of the server's playback streams (pactl list short sink-inputs).
std::vector<std::uint32_t> playbackStreams();
// The first playback stream not in `known`, waited for up to 5 s; -1 when none came.
long newPlaybackStream(const std::vector<std::uint32_t>& known);

// CPU time of all of a process's threads (/proc/<pid>/task/*/schedstat), in seconds.
double cpuSeconds(pid_t pid);
// Resident memory (VmRSS), in kB.
long residentKb(pid_t pid);

}  // namespace linuxbench
