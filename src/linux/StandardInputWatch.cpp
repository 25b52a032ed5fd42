#include "linux/StandardInputWatch.h"

#include <cerrno>
#include <thread>
#include <unistd.h>

namespace {

void watchStandardInput() {
    char discarded[256];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, discarded, sizeof discarded);
        if (got > 0 || (got < 0 && errno == EINTR)) {
            continue;
        }
        // _exit, not exit: no static destructor may run while the mixer and
        // the main loop still use what they would destroy.
        _exit(0);
    }
}

}  // namespace

void startStandardInputWatch() {
    std::thread(watchStandardInput).detach();
}
