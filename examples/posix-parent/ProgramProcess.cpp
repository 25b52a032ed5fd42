#include "ProgramProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point after(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

int msUntil(Clock::time_point end) {
    return static_cast<int>(std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count()));
}

}  // namespace

ProgramProcess::ProgramProcess(const std::vector<std::string>& argv) {
    // Close-on-exec everywhere: the child gets only the ends dup2 gives it.
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    if (posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ) == 0) {
        reaped = false;
    } else {
        child = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    // The child holds its ends now; ours must go, or no end would ever show.
    for (int fd : {in[0], out[1], err[1]}) {
        close(fd);
    }
    input = in[1];
    output = out[0];
    error = err[0];
    fcntl(error, F_SETFL, O_NONBLOCK);  // our end only: errorText() never waits
}

ProgramProcess::~ProgramProcess() {
    if (!reaped) {
        waitExit(0);
    }
    for (int fd : {input, output, error}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool ProgramProcess::waitReady(double seconds) {
    pollfd wait{error, POLLIN, 0};
    for (const auto end = after(seconds); errorText().find("ready\n") == std::string::npos;) {
        // An ended standard error (POLLHUP alone) will never say it.
        if (poll(&wait, 1, msUntil(end)) != 1 || (wait.revents & POLLIN) == 0) {
            return errorText().find("ready\n") != std::string::npos;
        }
    }
    return true;
}

std::string ProgramProcess::errorText() {
    char buffer[256];
    for (ssize_t got; (got = ::read(error, buffer, sizeof buffer)) > 0;) {
        errors.append(buffer, static_cast<std::size_t>(got));
    }
    return errors;
}

std::vector<float> ProgramProcess::read(std::size_t blocks, double seconds) {
    constexpr std::size_t blockBytes = blockValues * sizeof(float);
    std::vector<char> bytes;
    pollfd wait{output, POLLIN, 0};
    const auto end = after(seconds);
    while (bytes.size() / blockBytes < blocks || bytes.size() % blockBytes != 0) {
        // Past the deadline only to complete a block begun: every call starts on a block.
        if (poll(&wait, 1, bytes.size() % blockBytes != 0 ? 1000 : msUntil(end)) != 1) {
            break;
        }
        const std::size_t had = bytes.size();
        bytes.resize(had + blockBytes - had % blockBytes);
        const ssize_t got = ::read(output, bytes.data() + had, bytes.size() - had);
        bytes.resize(had + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got <= 0) {
            break;
        }
    }
    std::vector<float> samples(bytes.size() / blockBytes * blockValues);
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

std::string ProgramProcess::readLine(double seconds) {
    pollfd wait{output, POLLIN, 0};
    const auto end = after(seconds);
    // A byte at a time: nothing past the line is taken from the pipe.
    for (char c = 0; poll(&wait, 1, msUntil(end)) == 1 && ::read(output, &c, 1) == 1;) {
        if (c == '\n') {
            return std::exchange(partLine, {});
        }
        partLine += c;
    }
    return {};
}

void ProgramProcess::closeInput() {
    if (input >= 0) {
        close(input);
        input = -1;
    }
}

void ProgramProcess::closeOutput() {
    if (output >= 0) {
        close(output);
        output = -1;
    }
}

int ProgramProcess::waitExit(double seconds) {
    if (child <= 0 || reaped) {
        return -1;
    }
    int status = 0;
    pid_t ended = 0;
    for (const auto end = after(seconds); (ended = waitpid(child, &status, WNOHANG)) == 0 && Clock::now() < end;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    reaped = true;
    if (ended != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int ProgramProcess::finish(double seconds) {
    closeInput();
    return waitExit(seconds);
}
