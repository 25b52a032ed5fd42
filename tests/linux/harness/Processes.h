#pragma once
// The processes a Linux test starts besides the program: players, their
// trees, Xvfb. Each starts in a process group of its own whose id is its pid,
// so a tree (a shell and its player) ends through that one id; the test
// process is a subreaper, so grandchildren come back to it to be reaped
// instead of outliving it. Test thread only.

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

// Child descriptor -> parent descriptor; standard streams not named are /dev/null.
using DescriptorMap = std::vector<std::pair<int, int>>;
// The new process's pid (its group's id), or -1 with a test failure.
pid_t startProcess(const std::vector<std::string>& argv, const DescriptorMap& descriptors = {});
// SIGTERM to the group, SIGKILL after 5 s; reaps every member that is ours.
void endGroup(pid_t group);
// The first line written on `fd`, without its newline; what came of it when
// nothing came for 20 s.
std::string firstLine(int fd);
// A process of `group` other than its leader whose comm is `command` (a
// player that a sandbox, a shell or a parent player started), waited for up
// to 10 s; -1 when none came.
pid_t memberRunning(pid_t group, const std::string& command);
// What a shell command prints on standard output.
std::string shellOutput(const std::string& command);
