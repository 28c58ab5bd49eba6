#include "XDriver.h"

#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>

namespace tavrin::test {

XDriver::XDriver() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
}

XDriver::~XDriver() {
    if (m_connection)
        xcb_disconnect(m_connection);
}

xcb_atom_t XDriver::atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

quint32 XDriver::cardinal(xcb_window_t window, xcb_atom_t property) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, XCB_ATOM_CARDINAL, 0, 1),
        nullptr);
    quint32 value = 0;
    if (reply && xcb_get_property_value_length(reply) == 4)
        std::memcpy(&value, xcb_get_property_value(reply), 4);
    std::free(reply);
    return value;
}

// A round trip: everything sent before has reached the server.
void XDriver::sync() {
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

xcb_window_t XDriver::findWindow(qint64 pid) {
    if (!m_connection)
        return 0;
    const xcb_atom_t pidAtom = atom("_NET_WM_PID");
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr);
    if (!tree)
        return 0;
    xcb_window_t found = 0;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
        if (cardinal(children[i], pidAtom) != quint32(pid))
            continue;
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, children[i]), nullptr);
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            found = children[i];
        std::free(attributes);
    }
    std::free(tree);
    return found;
}

void XDriver::movePointer(xcb_window_t window, QPoint pos) {
    xcb_translate_coordinates_reply_t* onRoot = xcb_translate_coordinates_reply(
        m_connection,
        xcb_translate_coordinates(m_connection, window, m_root, int16_t(pos.x()), int16_t(pos.y())),
        nullptr);
    if (!onRoot)
        return;
    xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, onRoot->dst_x,
                        onRoot->dst_y, XCB_NONE);
    std::free(onRoot);
    sync();
}

void XDriver::click(xcb_window_t window, QPoint pos) {
    movePointer(window, pos);
    xcb_test_fake_input(m_connection, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                        XCB_NONE);
    xcb_test_fake_input(m_connection, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                        XCB_NONE);
    sync();
}

void XDriver::requestClose(xcb_window_t window) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom("WM_PROTOCOLS");
    message.data.data32[0] = atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&message));
    sync();
}

} // namespace tavrin::test
