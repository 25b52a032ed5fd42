#include "linux/WindowOwner.h"

#include "linux/WindowOwnerQuery.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <limits>

namespace {

// A local X server answers within milliseconds; one that has not answered in
// this time is taken to have no answer.
constexpr std::chrono::milliseconds answerBound{2000};

// The child's whole life: ask, hand the answer over, end without running the
// parent's exit handlers or flushing its buffers.
[[noreturn]] void answerFromChild(int answer, pid_t parent, std::uint32_t window) {
    // Should the program itself be killed meanwhile, the child goes with it.
    // The parent may have gone before that was set: then it ends now.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
        _exit(1);
    }
    const std::uint32_t owner = queryWindowOwner(window);
    // Four bytes into a pipe go in one piece or not at all.
    static_cast<void>(write(answer, &owner, sizeof owner));
    _exit(0);
}

// The child's answer, waited for until the bound; 0 when none came.
std::uint32_t awaitAnswer(int answer) {
    using std::chrono::steady_clock;
    const steady_clock::time_point deadline = steady_clock::now() + answerBound;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now());
        if (left.count() <= 0) {
            return 0;
        }
        pollfd ready{answer, POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return 0;
        }
        std::uint32_t owner = 0;
        ssize_t got;
        do {
            got = read(answer, &owner, sizeof owner);
        } while (got < 0 && errno == EINTR);
        // End of file: the child ended without an answer.
        return got == static_cast<ssize_t>(sizeof owner) ? owner : 0;
    }
}

}  // namespace

void lookUpWindowOwner(std::uint64_t handle, std::uint32_t& processId) {
    // X11 window ids are 32 bits wide: a larger number names no window.
    if (handle == 0 || handle > std::numeric_limits<std::uint32_t>::max()) {
        return;
    }
    int answer[2];
    if (pipe2(answer, O_CLOEXEC) != 0) {
        return;
    }
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        close(answer[0]);
        answerFromChild(answer[1], parent, static_cast<std::uint32_t>(handle));
    }
    close(answer[1]);
    const std::uint32_t owner = child > 0 ? awaitAnswer(answer[0]) : 0;
    close(answer[0]);
    if (child > 0) {
        // Answered or not, the child ends here: killing one that is already
        // on its way out costs nothing, and reaping it leaves no zombie.
        kill(child, SIGKILL);
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    if (owner != 0) {
        processId = owner;
    }
}
