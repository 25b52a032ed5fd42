#pragma once
// A window labelled as a desktop application's is: _NET_WM_PID set to a pid.
// Shared by the test's own display (TestDisplay) and the window client
// program. Any thread that owns `connection`.

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

// A new window on the first screen with _NET_WM_PID `pid`, mapped when
// asked; after a round trip, so that it and its label exist before anyone
// learns its id. 0 when the label's atom cannot be had.
inline xcb_window_t makeLabelledWindow(xcb_connection_t* connection, std::uint32_t pid, bool mapped) {
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
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &pid);
    std::free(atom);
    if (mapped) {
        xcb_map_window(connection, window);
    }
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return window;
}
