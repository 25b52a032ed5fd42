#include "harness/TestDisplay.h"

#include "harness/Processes.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

TestDisplay::TestDisplay() {
    // -displayfd: Xvfb picks a free display and names it on the pipe once it
    // takes clients, so there is nothing to guess and nothing to poll.
    int named[2];
    pipe2(named, O_CLOEXEC);
    server = startProcess({"Xvfb", "-displayfd", "3", "-nolisten", "tcp"}, {{3, named[1]}});
    close(named[1]);
    std::string display = ":";
    pollfd wait{named[0], POLLIN, 0};
    for (char c = 0; poll(&wait, 1, 20000) == 1 && read(named[0], &c, 1) == 1 && c != '\n';) {
        display += c;
    }
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
    const char name[] = "_NET_WM_PID";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    if (atom == nullptr) {
        return 0;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 64, 64, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const std::uint32_t value = static_cast<std::uint32_t>(pid);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &value);
    std::free(atom);
    // A round trip: the property is set before the program asks for it.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return window;
}
