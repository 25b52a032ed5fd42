#pragma once
// An Xvfb display of the test's own, for window mode: it makes windows that
// carry _NET_WM_PID, as a desktop application's window does, and points
// DISPLAY at itself so that the program started next finds them. Display and
// windows last as long as the object. Test thread only.

#include <sys/types.h>

#include <cstdint>

struct xcb_connection_t;

class TestDisplay {
public:
    TestDisplay();
    ~TestDisplay();
    TestDisplay(const TestDisplay&) = delete;
    TestDisplay& operator=(const TestDisplay&) = delete;
    // A new window whose _NET_WM_PID is `pid`; its id, 0 when it failed.
    std::uint32_t windowOf(pid_t pid);

private:
    pid_t server = -1;
    xcb_connection_t* connection = nullptr;
};
