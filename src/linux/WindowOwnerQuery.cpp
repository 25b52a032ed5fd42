#include "linux/WindowOwnerQuery.h"

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace {

struct ConnectionCloser {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
struct ReplyFree {
    void operator()(void* reply) const { std::free(reply); }
};
template <class T>
using Reply = std::unique_ptr<T, ReplyFree>;

// The pid the server took from the socket of the client whose resource `xid`
// is; nothing when the server does not know it (a client over TCP).
std::optional<std::uint32_t> serverRecordedPid(xcb_connection_t* connection, std::uint32_t xid) {
    const xcb_res_client_id_spec_t asked{xid, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    Reply<xcb_res_query_client_ids_reply_t> reply(
        xcb_res_query_client_ids_reply(connection, xcb_res_query_client_ids(connection, 1, &asked), nullptr));
    if (!reply) {
        return {};
    }
    // Only the one kind of id was asked for, so every id in the answer is a
    // pid: one 32-bit value.
    for (auto id = xcb_res_query_client_ids_ids_iterator(reply.get()); id.rem > 0; xcb_res_client_id_value_next(&id)) {
        if (xcb_res_client_id_value_value_length(id.data) == 1) {
            return *xcb_res_client_id_value_value(id.data);
        }
    }
    return {};
}

// The window's _NET_WM_PID: the pid its client says it has, as its own pid
// namespace numbers it; 0 when the property is missing or malformed.
std::uint32_t labelledPid(xcb_connection_t* connection, xcb_window_t window) {
    static constexpr char atomName[] = "_NET_WM_PID";
    // Only if it exists: a display where no client ever set the property
    // gains no atom from being asked.
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, std::strlen(atomName), atomName), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return 0;
    }
    Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, atom->atom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) < 4) {
        return 0;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, xcb_get_property_value(property.get()), sizeof value);
    return value;
}

bool isWindow(xcb_connection_t* connection, xcb_window_t window) {
    return Reply<xcb_get_window_attributes_reply_t>(xcb_get_window_attributes_reply(
               connection, xcb_get_window_attributes(connection, window), nullptr)) != nullptr;
}

}  // namespace

std::uint32_t queryWindowOwner(std::uint32_t window) {
    // xcb_connect always returns a connection object, an erroneous one when
    // there is no display; it must be released either way.
    std::unique_ptr<xcb_connection_t, ConnectionCloser> owned(xcb_connect(nullptr, nullptr));
    xcb_connection_t* connection = owned.get();
    // X-Resource answers for any id in a client's range, whether or not it
    // names anything: without this check a mistyped id would name whichever
    // client that range belongs to.
    if (xcb_connection_has_error(connection) != 0 || !isWindow(connection, window)) {
        return 0;
    }
    // Sending an X-Resource request to a server without the extension would
    // close the connection, so its presence is asked first.
    const xcb_query_extension_reply_t* resource = xcb_get_extension_data(connection, &xcb_res_id);
    if (resource != nullptr && resource->present != 0) {
        // The server's pids are numbers of its own pid namespace. They mean
        // the same here only when the server knows this process by the pid it
        // has here; a program sandboxed away from the server falls back.
        const auto self = serverRecordedPid(connection, xcb_get_setup(connection)->resource_id_base);
        const auto maker = serverRecordedPid(connection, window);
        if (self == static_cast<std::uint32_t>(getpid()) && maker.value_or(0) != 0) {
            return *maker;
        }
    }
    return labelledPid(connection, window);
}
