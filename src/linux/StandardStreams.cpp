#include "linux/StandardStreams.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

void ignoreBrokenPipeSignal() {
    std::signal(SIGPIPE, SIG_IGN);
}

bool writeStandardOutput(const float* samples, std::size_t count) {
    return writeAll(STDOUT_FILENO, samples, count * sizeof(float));
}

bool writeStandardOutput(std::string_view text) {
    return writeAll(STDOUT_FILENO, text.data(), text.size());
}

bool standardOutputBroken() {
    pollfd output{STDOUT_FILENO, 0, 0};
    return poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

void writeStandardError(std::string_view bytes) {
    static_cast<void>(writeAll(STDERR_FILENO, bytes.data(), bytes.size()));
}
