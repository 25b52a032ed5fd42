// A desktop application's stand-in for window mode: it makes a window on
// DISPLAY, sets the window's _NET_WM_PID to its own pid as real clients do
// (under `bwrap --unshare-pid` that is its pid inside, 2), maps it, and
// writes the window's id in decimal and a newline on standard output, which
// it then closes. The command after its own name, if any, runs as its child
// with the same standard input (a player in the same tree, or sandbox). It
// stays until it is killed or the display goes away.
//
//     window_client [command [argument...]]
//
// Exit 1 when the display or the window cannot be had; it writes no id then.

#include "harness/LabelledWindow.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        return 1;
    }
    // Labelled with its own pid, as real clients do.
    const xcb_window_t window = makeLabelledWindow(connection, static_cast<std::uint32_t>(getpid()), true);
    if (window == 0) {
        return 1;
    }

    const std::string id = std::to_string(window) + "\n";
    if (write(STDOUT_FILENO, id.data(), id.size()) != static_cast<ssize_t>(id.size())) {
        return 1;
    }
    // The reader waits for end of file: neither this process nor its child
    // keeps the pipe open.
    dup2(open("/dev/null", O_WRONLY | O_CLOEXEC), STDOUT_FILENO);
    if (argc > 1 && fork() == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    // Events until the connection ends: the display's end is this one's too.
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        std::free(event);
    }
    return 0;
}
