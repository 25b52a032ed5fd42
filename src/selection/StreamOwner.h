#pragma once
// Whose playback stream is it? The sound server passes on what a player says
// of itself, and a player in a pid namespace of its own (a Flatpak app runs
// in one) says its id inside: 1 or 2, which here names init or a kernel
// thread. So a claimed id is taken only once the process it names turns out
// to run the program that made the claim; otherwise the process is sought by
// that id inside the nested pid namespaces.
//
// OS-free and pure over its arguments: the server's words come in as data,
// the questions about processes go to a ProcessLookup, which the Linux
// program answers from /proc. Called on the scanning thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the server says of one process: a stream's own properties, or those of
// the client that made it.
struct ProcessClaim {
    std::uint32_t processId = 0;  // application.process.id; 0 when absent or not a number
    std::string binary;           // application.process.binary; empty when absent
};

// A stream's owner as the server describes it.
struct OwnerReport {
    ProcessClaim stream;
    bool hasClient = false;  // streams the server plays itself have no client
    ProcessClaim client;
    // pipewire.sec.pid: the id the server took from the client socket's
    // credentials, so the kernel's word, not the client's. 0 when absent, and
    // ignored for pipewire-pulse's relay, whose credentials are its own.
    std::uint32_t kernelProcessId = 0;
    bool relayedClient = false;  // client.api "pipewire-pulse"
};

// The two names by which a process's program shows in /proc.
struct ProcessNames {
    std::string command;     // comm: the executed file's base name, cut at 15 bytes
    std::string executable;  // base name of the exe link's target; empty when unreadable
};

// Questions about the processes as they are now. Implementations may read
// the system lazily; one instance serves one scan.
class ProcessLookup {
public:
    virtual ~ProcessLookup() = default;
    // The names of the process with this id in our pid namespace; nothing
    // when there is no such (living) process.
    virtual std::optional<ProcessNames> namesOf(std::uint32_t processId) = 0;
    // The processes, by their id in our namespace, that live in a pid
    // namespace nested below ours and have `innerId` as their id in the
    // innermost one.
    virtual std::vector<std::uint32_t> nestedProcessesWithId(std::uint32_t innerId) = 0;
};

enum class OwnerKind {
    Server,   // nobody claims the stream: the server plays it itself
    Process,  // `processId` plays it
    Unknown,  // some program claims it, but which process is not certain
};

struct StreamOwner {
    OwnerKind kind = OwnerKind::Server;
    std::uint32_t processId = 0;  // with OwnerKind::Process
    std::string binary;           // the program's name as claimed, for the ignored names
};

// True when `binary` is the program that `names` shows: the exe's base name,
// or comm, which holds the first 15 bytes of the name it was run under.
bool runsProgram(const ProcessNames& names, const std::string& binary);

// The stream's own claim first, then its client's; for a client that the
// server itself did not relay, the kernel's id before the client's claim.
StreamOwner resolveStreamOwner(const OwnerReport& report, ProcessLookup& processes);
