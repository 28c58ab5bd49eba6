#include "platform/QtMessagePump.h"

#include <QCoreApplication>

namespace tavrin {

// Qt's GLib dispatcher can sleep past a queued X event: its X source counts as ready only while
// a wake-up flag is set, and the posted-events source clears that flag whenever it runs, also in
// a non-blocking pass such as the one every wait makes before it sleeps; a wake-up from the X
// reader thread that lands in such a pass is then lost until some other event comes along. The
// plain Unix dispatcher reads the X queue after every pass and wakes on its own event descriptor.
void QtMessagePump::prepareApplication() {
    qputenv("QT_NO_GLIB", "1");
}

QtMessagePump::QtMessagePump() {
    m_wake.setSingleShot(true);
    m_wake.setTimerType(Qt::PreciseTimer);
}

void QtMessagePump::processPending() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtMessagePump::waitForMore(Clock::time_point deadline) {
    if (deadline != Never) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now());
        m_wake.start(std::max(left, std::chrono::milliseconds(0)));
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_wake.stop();
}

} // namespace tavrin
