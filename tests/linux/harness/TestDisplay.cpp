#include "harness/TestDisplay.h"

#include "harness/LabelledWindow.h"
#include "harness/Processes.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

TestDisplay::TestDisplay(bool xResource) {
    // -displayfd: Xvfb picks a free display and names it on the pipe once it
    // takes clients, so there is nothing to guess and nothing to poll.
    int named[2];
    pipe2(named, O_CLOEXEC);
    std::vector<std::string> argv{"Xvfb", "-displayfd", "3", "-nolisten", "tcp"};
    if (!xResource) {
        argv.insert(argv.end(), {"-extension", "X-Resource"});
    }
    server = startProcess(argv, {{3, named[1]}});
    close(named[1]);
    const std::string display = ":" + firstLine(named[0]);
    close(named[0]);
    setenv("DISPLAY", display.c_str(), 1);
    connection = xcb_connect(display.c_str(), nullptr);
    EXPECT_EQ(xcb_connection_has_error(connection), 0) << "no Xvfb at " << display;
}

TestDisplay::~TestDisplay() {
    xcb_disconnect(connection);
    unsetenv("DISPLAY");
    endGroup(server);
}

std::uint32_t TestDisplay::windowOf(pid_t pid) {
    return makeLabelledWindow(connection, static_cast<std::uint32_t>(pid), false);
}

namespace {

// A socket listening at `path` (abstract when it begins with a zero byte);
// -1 when the name is taken. Its backlog takes connections nobody accepts.
int listeningAt(const std::string& path) {
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

MuteDisplay::MuteDisplay() {
    if (mkdir("/tmp/.X11-unix", 0) == 0) {
        madeFolder = true;
        chmod("/tmp/.X11-unix", 01777);  // as X servers leave it, whatever the umask
    }
    for (int number = 64; number < 1024 && sockets[1] < 0; ++number) {
        const std::string name = std::to_string(number);
        // The lock file claims the number, as an X server's does: with our
        // live pid in it, a server that starts meanwhile passes it by.
        lockFile = "/tmp/.X" + name + "-lock";
        const int lock = open(lockFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
        if (lock < 0) {
            continue;
        }
        dprintf(lock, "%10d\n", static_cast<int>(getpid()));
        close(lock);
        socketFile = "/tmp/.X11-unix/X" + name;
        sockets[0] = listeningAt(socketFile);
        sockets[1] = sockets[0] < 0 ? -1 : listeningAt(std::string(1, '\0') + socketFile);
        if (sockets[1] < 0) {
            if (sockets[0] >= 0) {
                close(sockets[0]);
                unlink(socketFile.c_str());
            }
            sockets[0] = -1;
            unlink(lockFile.c_str());
        } else {
            setenv("DISPLAY", (":" + name).c_str(), 1);
        }
    }
    EXPECT_GE(sockets[1], 0) << "no free display number";
}

MuteDisplay::~MuteDisplay() {
    unsetenv("DISPLAY");
    if (sockets[1] >= 0) {
        close(sockets[0]);
        close(sockets[1]);
        unlink(socketFile.c_str());
        unlink(lockFile.c_str());
    }
    if (madeFolder) {
        rmdir("/tmp/.X11-unix");
    }
}
