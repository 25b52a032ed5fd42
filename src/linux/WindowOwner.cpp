#include "linux/WindowOwner.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace {

struct ConnectionCloser {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
struct ReplyFree {
    void operator()(void* reply) const { std::free(reply); }
};
template <class T>
using Reply = std::unique_ptr<T, ReplyFree>;

}  // namespace

void lookUpWindowOwner(std::uint64_t handle, std::uint32_t& processId) {
    // X11 window ids are 32 bits wide: a larger number names no window.
    if (handle == 0 || handle > std::numeric_limits<xcb_window_t>::max()) {
        return;
    }
    // xcb_connect always returns a connection object, an erroneous one when
    // there is no display; it must be released either way.
    std::unique_ptr<xcb_connection_t, ConnectionCloser> connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get()) != 0) {
        return;
    }
    static constexpr char atomName[] = "_NET_WM_PID";
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection.get(), xcb_intern_atom(connection.get(), 1, std::strlen(atomName), atomName),
        nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return;
    }
    const auto window = static_cast<xcb_window_t>(handle);
    Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        connection.get(),
        xcb_get_property(connection.get(), 0, window, atom->atom, XCB_ATOM_CARDINAL, 0, 1),
        nullptr));
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) < 4) {
        return;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, xcb_get_property_value(property.get()), sizeof value);
    if (value != 0) {
        processId = value;
    }
}
