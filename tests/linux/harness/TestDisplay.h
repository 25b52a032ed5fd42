#pragma once
// X displays of the test's own, for window mode. Each points DISPLAY at
// itself, so that the program started next asks it, and lasts as long as the
// object; DISPLAY is unset after. Test thread only.

#include <sys/types.h>

#include <cstdint>
#include <string>

struct xcb_connection_t;

// An Xvfb display, with or without the X-Resource extension, through which
// the server names the process that made a window. The windows it makes are
// the test's own and carry the _NET_WM_PID they are given.
class TestDisplay {
public:
    explicit TestDisplay(bool xResource = true);
    ~TestDisplay();
    TestDisplay(const TestDisplay&) = delete;
    TestDisplay& operator=(const TestDisplay&) = delete;
    // A new window whose _NET_WM_PID is `pid`; its id, 0 when it failed.
    std::uint32_t windowOf(pid_t pid);

private:
    pid_t server = -1;
    xcb_connection_t* connection = nullptr;
};

// A display whose server takes connections and never answers: for the first
// free display number, a lock file as X servers make and a listening socket
// both at /tmp/.X11-unix/X<n> and under the abstract name libxcb tries first.
class MuteDisplay {
public:
    MuteDisplay();
    ~MuteDisplay();
    MuteDisplay(const MuteDisplay&) = delete;
    MuteDisplay& operator=(const MuteDisplay&) = delete;

private:
    std::string lockFile, socketFile;
    int sockets[2] = {-1, -1};
    bool madeFolder = false;
};
