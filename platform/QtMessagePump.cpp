#include "platform/QtMessagePump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

namespace tavrin {

namespace {

// Counts the events delivered to the objects of the waiting thread.
class DeliveryCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent*) override {
        ++m_delivered;
        return false;
    }
    int delivered() const { return m_delivered; }

private:
    int m_delivered = 0;
};

} // namespace

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
    // A blocking pass first delivers the events posted since the last pass, then sleeps. Windows's
    // dispatcher may have taken their wake-up message in that last pass already, and would then
    // sleep with the event the caller waits for delivered and nothing left to wake it. What a pass
    // delivers before it blocks is the event this wait was for: it wakes the pass at once.
    DeliveryCounter counter;
    QCoreApplication::instance()->installEventFilter(&counter);
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    const QMetaObject::Connection blocking = QObject::connect(
        dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher, [&counter, dispatcher] {
            if (counter.delivered() > 0)
                dispatcher->wakeUp();
        });
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QObject::disconnect(blocking);
    QCoreApplication::instance()->removeEventFilter(&counter);
    m_wake.stop();
}

} // namespace tavrin
