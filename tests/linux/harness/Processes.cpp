#include "harness/Processes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

pid_t startProcess(const std::vector<std::string>& argv, const DescriptorMap& descriptors) {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        const int null = open("/dev/null", O_RDWR);
        for (int fd : {0, 1, 2}) {
            dup2(null, fd);
        }
        // Our descriptors are all close-on-exec; dup2 gives the child its copy.
        for (auto [child, parent] : descriptors) {
            dup2(parent, child);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    // Set on both sides, so that the group exists whichever side runs first.
    setpgid(pid, pid);
    EXPECT_GT(pid, 0) << "cannot start " << argv[0];
    return pid;
}

void endGroup(pid_t group) {
    auto goneWithin = [group](int seconds) {
        for (int wait = 0; wait < seconds * 200; ++wait) {
            while (waitpid(-group, nullptr, WNOHANG) > 0) {
            }
            if (kill(-group, 0) != 0) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    };
    if (group > 0 && kill(-group, SIGTERM) == 0 && !goneWithin(5)) {
        kill(-group, SIGKILL);
        EXPECT_TRUE(goneWithin(5)) << "process group " << group << " outlives SIGKILL";
    }
}

std::string firstLine(int fd) {
    std::string line;
    pollfd wait{fd, POLLIN, 0};
    for (char c = 0; poll(&wait, 1, 20000) == 1 && read(fd, &c, 1) == 1 && c != '\n';) {
        line += c;
    }
    return line;
}

std::string shellOutput(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        for (int c; (c = std::fgetc(pipe)) != EOF;) {
            text += static_cast<char>(c);
        }
        pclose(pipe);
    }
    return text;
}

pid_t memberRunning(pid_t group, const std::string& command) {
    for (int tries = 0; tries < 100; std::this_thread::sleep_for(std::chrono::milliseconds(100)), ++tries) {
        std::istringstream found(shellOutput("pgrep -g " + std::to_string(group) + " -x '" + command + "'"));
        for (pid_t pid = 0; found >> pid;) {
            if (pid != group) {
                return pid;
            }
        }
    }
    return -1;
}
