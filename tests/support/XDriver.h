#pragma once

#include <QPoint>
#include <QString>

#include <xcb/xcb.h>

namespace tavrin::test {

// Drives another program's window through the X server as a person would: pointer clicks by the
// XTEST extension, and the window manager's request to close.
class XDriver {
public:
    XDriver();
    ~XDriver();
    XDriver(const XDriver&) = delete;
    XDriver& operator=(const XDriver&) = delete;

    bool isConnected() const { return m_connection != nullptr; }
    // The mapped top-level window of process `pid`, 0 until there is one.
    xcb_window_t findWindow(qint64 pid);
    // Presses and releases the first button at `pos`, in the window's own pixels.
    void click(xcb_window_t window, QPoint pos);
    // Moves the pointer to `pos`, in the window's own pixels.
    void movePointer(xcb_window_t window, QPoint pos);
    // Asks the window to close, as a window manager's close button does.
    void requestClose(xcb_window_t window);

private:
    xcb_atom_t atom(const char* name);
    void sync();
    quint32 cardinal(xcb_window_t window, xcb_atom_t property);

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
};

} // namespace tavrin::test
